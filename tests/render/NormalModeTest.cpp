// The flat mode in a real widget: the slot's frame as large as the widget
// allows at its display aspect ratio, centred and upright between black bars,
// uploaded once per picture. New pictures, an emptied slot and showing after
// loading are seen end to end (tests/e2e).
#include "common/TestSupport.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "render/AbstractMode.h"
#include "render/GLWidget.h"
#include "render/ModeFactory.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// A frame showing an image; counts its uploads.
struct TestFrame : AbstractVideoFrame {
    explicit TestFrame(const QImage &image) : AbstractVideoFrame(image.width(), image.height()), image(image) {}
    void updateTexture(FrameTexture &target) override
    {
        ++uploads;
        target.upload(image.constBits(), width, height);
    }
    void fill(const AVFrame *, AVPixelFormat, int64_t) override {}
    QImage image;
    AVRational &aspect() { return sampleAspect; }
    int uploads = 0;
};

// The picture keeps its display aspect ratio (its sample aspect ratio
// included): as large as the widget allows, centred, upright, black bars on
// the sides it leaves, and right again after every resize. Its edge pixels
// are its own corner colours (clamped, not wrapped round), the next ones out
// the bars.
TEST(NormalModeTest, PictureKeepsItsDisplayAspectUprightBetweenBars)
{
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
    QImage quadrants(8, 8, QImage::Format_RGBA8888);
    quadrants.fill(QColor(red));
    QPainter(&quadrants).fillRect(4, 0, 4, 4, QColor(green));
    QPainter(&quadrants).fillRect(0, 4, 4, 4, QColor(blue));
    QPainter(&quadrants).fillRect(4, 4, 4, 4, QColor(white));
    auto *frame = new TestFrame(quadrants);
    FrameSlot slot;
    GLWidget widget;
    AbstractMode *mode = nullptr;
    widget.execute([&] {
        mode = createMode(&widget, 0, &slot, 0, 0);
        slot.exchange(frame);
    });
    widget.setMode(mode);
    widget.show();
    const struct {
        QSize widget;
        AVRational sampleAspect;
        QRect picture;
    } cases[] = {
        {QSize(300, 100), {1, 1}, QRect(100, 0, 100, 100)}, // bars left and right
        {QSize(90, 260), {1, 1}, QRect(0, 85, 90, 90)},     // bars above and below
        {QSize(300, 100), {2, 1}, QRect(50, 0, 200, 100)},  // stored square, shown twice as wide
        {QSize(200, 100), {2, 1}, QRect(0, 0, 200, 100)},   // exactly the widget's shape: no bars
        {QSize(160, 90), {4, 3}, QRect(20, 0, 120, 90)},    // 4:3 in 16:9
        {QSize(101, 50), {0, 1}, QRect(25, 0, 50, 50)},     // unknown: square; an odd width rounds down
    };
    for (const auto &c : cases) {
        widget.execute([&] { frame->aspect() = c.sampleAspect; });
        widget.resize(c.widget);
        const QRect r = c.picture;
        std::vector<std::pair<QPoint, QRgb>> probes = {
            {r.topLeft(), red}, {r.topRight(), green}, {r.bottomLeft(), blue}, {r.bottomRight(), white}};
        for (QPoint bar : {QPoint(r.left() - 1, r.center().y()), QPoint(r.right() + 1, r.center().y()),
                           QPoint(r.center().x(), r.top() - 1), QPoint(r.center().x(), r.bottom() + 1)})
            if (QRect(QPoint(0, 0), c.widget).contains(bar))
                probes.emplace_back(bar, qRgb(0, 0, 0));
        auto shown = [&] {
            const QImage image = widget.grabFrameBuffer();
            return image.size() == c.widget && std::all_of(probes.begin(), probes.end(), [&](const auto &p) {
                       return near(QColor(image.pixel(p.first)), QColor(p.second), 2);
                   });
        };
        EXPECT_TRUE(QTest::qWaitFor(shown, 20000)) << c.widget.width() << "x" << c.widget.height() << " sar "
                                                   << c.sampleAspect.num << ":" << c.sampleAspect.den;
    }
    EXPECT_EQ(frame->uploads, 1) << "the paused picture is drawn again at each size from the one upload";
    // Torn down as the engine does: the mode removed, then frame and mode deleted in the widget's context.
    widget.execute([&] {
        widget.setMode(nullptr);
        delete slot.exchange(nullptr);
        delete mode;
    });
}

} // namespace

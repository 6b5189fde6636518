// The flat mode in a real widget: the slot's frame as large as the widget
// allows at its display aspect ratio, centred and upright between black bars,
// uploaded once per picture; an empty slot shows black, a translucent frame
// blends.
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
#include <memory>
#include <utility>
#include <vector>

namespace {

QImage filled(int width, int height, const QColor &colour)
{
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(colour);
    return image;
}

// A frame showing an image; counts its uploads.
struct TestFrame : AbstractVideoFrame {
    explicit TestFrame(const QImage &image) : AbstractVideoFrame(image.width(), image.height()), image(image) {}
    // A new picture in the same frame, as the demux thread's fill makes.
    void refill(const QImage &picture)
    {
        image = picture;
        beginPicture(timestamp);
    }
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

// Owns a shown widget, the engine-side slot and mode, and tears them down in
// the engine's order (mode removed, then frames and mode deleted in the
// widget's context).
class NormalModeTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        widget->execute([this] {
            widget->setMode(nullptr);
            delete slot.exchange(nullptr);
            delete mode;
        });
    }

    // Shows the widget with the flat mode and a frame of the image.
    TestFrame *show(QSize size, const QImage &image)
    {
        widget->resize(size);
        widget->show();
        EXPECT_TRUE(QTest::qWaitFor([this] { return widget->isInitialized(); }, 20000));
        auto *frame = new TestFrame(image);
        widget->execute([&] {
            mode = createMode(widget.get(), 0, &slot, 0, 0);
            slot.exchange(frame);
        });
        widget->setMode(mode);
        return frame;
    }

    // Waits until the widget shows the colour everywhere (the repaint thread paints it).
    bool showsEverywhere(QRgb colour)
    {
        return QTest::qWaitFor(
            [&] {
                const QImage image = widget->grabFrameBuffer();
                for (int y = 0; y < image.height(); ++y)
                    for (int x = 0; x < image.width(); ++x)
                        if (!near(QColor(image.pixel(x, y)), QColor(colour), 1))
                            return false;
                return !image.isNull();
            },
            20000);
    }

    FrameSlot slot;
    std::unique_ptr<GLWidget> widget = std::make_unique<GLWidget>();
    AbstractMode *mode = nullptr;
};

TEST_F(NormalModeTest, NewPicturesShowTranslucentOnesBlendAndAnEmptySlotIsBlack)
{
    TestFrame *frame = show(QSize(240, 135), filled(64, 36, QColor(200, 40, 90)));
    EXPECT_TRUE(showsEverywhere(qRgb(200, 40, 90)));

    // The demux thread's refill of the frame on screen, put into the slot again.
    widget->execute([&] {
        frame->refill(filled(64, 36, QColor(0, 0, 255, 128)));
        slot.exchange(frame);
    });
    QRgb blended = 0;
    EXPECT_TRUE(QTest::qWaitFor([&] { return qBlue(blended = widget->grabFrameBuffer().pixel(120, 67)) > 40; }, 20000));
    EXPECT_LT(qBlue(blended), 250) << "not blended: " << QColor(blended).name().toStdString();

    std::unique_ptr<TestFrame> removed;
    widget->execute([&] { removed.reset(static_cast<TestFrame *>(slot.exchange(nullptr))); });
    const int uploads = removed->uploads;
    EXPECT_TRUE(showsEverywhere(qRgb(0, 0, 0)));
    EXPECT_EQ(removed->uploads, uploads) << "an empty slot uploads nothing";
    widget->execute([&] { removed.reset(); });
}

// The picture keeps its display aspect ratio (its sample aspect ratio
// included): as large as the widget allows, centred, upright, black bars on
// the sides it leaves, and right again after every resize. Its edge pixels
// are its own corner colours (clamped, not wrapped round), the next ones out
// the bars.
TEST_F(NormalModeTest, PictureKeepsItsDisplayAspectUprightBetweenBars)
{
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
    QImage quadrants = filled(8, 8, red);
    QPainter(&quadrants).fillRect(4, 0, 4, 4, QColor(green));
    QPainter(&quadrants).fillRect(0, 4, 4, 4, QColor(blue));
    QPainter(&quadrants).fillRect(4, 4, 4, 4, QColor(white));
    TestFrame *frame = show(QSize(300, 100), quadrants);
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
        widget->execute([&] { frame->aspect() = c.sampleAspect; });
        widget->resize(c.widget);
        const QRect r = c.picture;
        std::vector<std::pair<QPoint, QRgb>> probes = {
            {r.topLeft(), red}, {r.topRight(), green}, {r.bottomLeft(), blue}, {r.bottomRight(), white}};
        for (QPoint bar : {QPoint(r.left() - 1, r.center().y()), QPoint(r.right() + 1, r.center().y()),
                           QPoint(r.center().x(), r.top() - 1), QPoint(r.center().x(), r.bottom() + 1)})
            if (QRect(QPoint(0, 0), c.widget).contains(bar))
                probes.emplace_back(bar, qRgb(0, 0, 0));
        auto shown = [&] {
            const QImage image = widget->grabFrameBuffer();
            return image.size() == c.widget && std::all_of(probes.begin(), probes.end(), [&](const auto &p) {
                       return near(QColor(image.pixel(p.first)), QColor(p.second), 2);
                   });
        };
        EXPECT_TRUE(QTest::qWaitFor(shown, 20000)) << c.widget.width() << "x" << c.widget.height() << " sar "
                                                   << c.sampleAspect.num << ":" << c.sampleAspect.den;
    }
    EXPECT_EQ(frame->uploads, 1) << "the paused picture is drawn again at each size from the one upload";
}

} // namespace

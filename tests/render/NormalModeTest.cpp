// The flat mode in a real widget: the slot's frame as large as the widget
// allows at its display aspect ratio, upright, between black bars; an empty slot shows black, a
// translucent frame blends, and a host may build everything through execute
// before the widget is embedded and shown.
#include "common/GlTestContext.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "render/GLWidget.h"
#include "render/ModeFactory.h"
#include "render/NormalMode.h"
#include "render/VRMode.h"

#include <QApplication>
#include <QImage>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

// A frame whose pixels the test sets directly; counts its uploads.
class TestFrame : public AbstractVideoFrame {
public:
    TestFrame(int width, int height) : AbstractVideoFrame(width, height), pixels(size_t(width) * height * 4) {}
    void setPixel(int x, int y, QRgb colour)
    {
        uint8_t *p = &pixels[(size_t(y) * width + x) * 4];
        p[0] = uint8_t(qRed(colour));
        p[1] = uint8_t(qGreen(colour));
        p[2] = uint8_t(qBlue(colour));
        p[3] = uint8_t(qAlpha(colour));
    }
    // Paints the whole picture and makes it a new one, as a fill does.
    void fillWith(QRgb colour)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                setPixel(x, y, colour);
        beginPicture(timestamp);
    }
    void updateTexture(FrameTexture &target) override
    {
        ++uploads;
        target.upload(pixels.data(), width, height);
    }
    void fill(const AVFrame *, AVPixelFormat, int64_t timestampMs) override { beginPicture(timestampMs); }
    void setSampleAspect(AVRational aspect) { sampleAspect = aspect; }

    std::vector<uint8_t> pixels;
    int uploads = 0;
};

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

std::string describe(QRgb c)
{
    return std::to_string(qRed(c)) + "," + std::to_string(qGreen(c)) + "," + std::to_string(qBlue(c));
}

// Every pixel of the image is the colour.
::testing::AssertionResult allPixels(const QImage &image, QRgb colour, int tolerance = 1)
{
    if (image.isNull())
        return ::testing::AssertionFailure() << "no image";
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!near(image.pixel(x, y), colour, tolerance))
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is "
                                                     << describe(image.pixel(x, y)) << " in a "
                                                     << image.width() << "x" << image.height() << " picture";
    return ::testing::AssertionSuccess();
}

// Owns a shown widget, the engine-side slot and mode, and tears them down in
// the engine's order (mode removed, then frames and mode deleted in the
// widget's context).
class NormalModeTest : public ::testing::Test {
protected:
    void SetUp() override { ensureTestApplication(); }

    void TearDown() override
    {
        if (!widget)
            return;
        widget->execute([this] {
            widget->setMode(nullptr);
            delete slot.exchange(nullptr);
            delete mode;
            mode = nullptr;
        });
        widget.reset();
    }

    void showWidget(int width, int height)
    {
        widget = std::make_unique<GLWidget>();
        widget->resize(width, height);
        widget->show();
        ASSERT_TRUE(processEventsUntil([this] { return widget->isInitialized(); }));
        widget->execute([this] { mode = createMode(widget.get(), 0, &slot, 0, 0); });
        ASSERT_NE(mode, nullptr);
        widget->setMode(mode);
    }

    // Puts a new frame into the slot (the old one deleted in the context).
    TestFrame *show(std::unique_ptr<TestFrame> &&frame)
    {
        TestFrame *raw = frame.release();
        widget->execute([&] { delete slot.exchange(raw); });
        return raw;
    }

    // A frame painted by paint, then put into the slot.
    TestFrame *makeFrame(int width, int height, const std::function<void(TestFrame &)> &paint)
    {
        auto frame = std::make_unique<TestFrame>(width, height);
        paint(*frame);
        return show(std::move(frame));
    }

    // The demux thread's refill of the frame on screen: a new picture, put
    // into the slot again.
    void refill(TestFrame *frame, QRgb colour)
    {
        widget->execute([&] {
            frame->fillWith(colour);
            slot.exchange(frame);
        });
    }

    // Waits until the widget shows the colour everywhere (the repaint thread paints it).
    ::testing::AssertionResult showsEverywhere(QRgb colour)
    {
        QImage image;
        processEventsUntil([&] {
            image = widget->grabFrameBuffer();
            return bool(allPixels(image, colour));
        });
        return allPixels(image, colour);
    }

    FrameSlot slot;
    std::unique_ptr<GLWidget> widget;
    AbstractMode *mode = nullptr;
};

TEST_F(NormalModeTest, FactoryGivesNormalVrOrNothing)
{
    widget = std::make_unique<GLWidget>();
    AbstractMode *normal = nullptr, *vr = nullptr, *two = nullptr, *negative = nullptr;
    widget->execute([&] {
        normal = createMode(widget.get(), 0, &slot, 0, 0);
        vr = createMode(widget.get(), 1, &slot, 0, 0);
        two = createMode(widget.get(), 2, &slot, 0, 0);
        negative = createMode(nullptr, -1, &slot, 0, 0);
    });
    EXPECT_NE(dynamic_cast<NormalMode *>(normal), nullptr);
    EXPECT_NE(dynamic_cast<VRMode *>(vr), nullptr);
    EXPECT_EQ(two, nullptr);
    EXPECT_EQ(negative, nullptr);
    widget->execute([&] {
        delete normal;
        delete vr;
    });
}

TEST_F(NormalModeTest, SolidFrameFillsTheWidgetAndTranslucentOneBlends)
{
    showWidget(240, 135);
    TestFrame *frame = makeFrame(64, 36, [](TestFrame &f) { f.fillWith(qRgba(200, 40, 90, 255)); });
    EXPECT_TRUE(showsEverywhere(qRgb(200, 40, 90)));
    EXPECT_GT(frame->uploads, 0);

    // Alpha below 255 blends over what the previous paints left.
    refill(frame, qRgba(0, 0, 255, 128));
    QImage image;
    EXPECT_TRUE(processEventsUntil([&] {
        image = widget->grabFrameBuffer();
        return qBlue(image.pixel(120, 67)) > 40;
    }));
    QRgb blended = image.pixel(120, 67);
    EXPECT_LT(qBlue(blended), 255) << describe(blended);
    EXPECT_GT(qRed(blended) + qBlue(blended), 150) << describe(blended);
}

// The picture keeps its display aspect ratio (its sample aspect ratio
// included): as large as the widget allows, centred, upright, black bars on
// the sides it leaves, and right again after every resize.
TEST_F(NormalModeTest, PictureKeepsItsAspectUprightBetweenBars)
{
    showWidget(300, 100);
    // Quadrants: red top left, green top right, blue bottom left, white bottom right.
    TestFrame *frame = makeFrame(8, 8, [](TestFrame &f) {
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                f.setPixel(x, y, y < 4 ? (x < 4 ? qRgb(255, 0, 0) : qRgb(0, 255, 0))
                                      : (x < 4 ? qRgb(0, 0, 255) : qRgb(255, 255, 255)));
    });

    struct Case {
        QSize widget;
        AVRational sampleAspect;
        QRect picture; // where the picture must be
    } cases[] = {
        {QSize(300, 100), {1, 1}, QRect(100, 0, 100, 100)},
        {QSize(90, 260), {1, 1}, QRect(0, 85, 90, 90)},
        {QSize(300, 100), {2, 1}, QRect(50, 0, 200, 100)}, // stored square, shown twice as wide
    };
    for (const Case &c : cases) {
        widget->execute([&] { frame->setSampleAspect(c.sampleAspect); });
        widget->resize(c.widget);
        const QRect r = c.picture;
        QImage image;
        auto shown = [&] {
            image = widget->grabFrameBuffer();
            const QPoint barA = r.left() > 0 ? QPoint(r.left() - 3, r.center().y()) : QPoint(r.center().x(), r.top() - 3);
            const QPoint barB = r.left() > 0 ? QPoint(r.right() + 3, r.center().y())
                                             : QPoint(r.center().x(), r.bottom() + 3);
            return image.size() == c.widget && near(image.pixel(r.left() + 2, r.top() + 2), qRgb(255, 0, 0), 2) &&
                   near(image.pixel(r.right() - 2, r.top() + 2), qRgb(0, 255, 0), 2) &&
                   near(image.pixel(r.left() + 2, r.bottom() - 2), qRgb(0, 0, 255), 2) &&
                   near(image.pixel(r.right() - 2, r.bottom() - 2), qRgb(255, 255, 255), 2) &&
                   near(image.pixel(barA), qRgb(0, 0, 0), 2) && near(image.pixel(barB), qRgb(0, 0, 0), 2);
        };
        EXPECT_TRUE(processEventsUntil(shown)) << c.widget.width() << "x" << c.widget.height() << " sar "
                                               << c.sampleAspect.num << ":" << c.sampleAspect.den;
    }
    // The paused picture was drawn again at each size from the one upload.
    EXPECT_EQ(frame->uploads, 1);
}

TEST_F(NormalModeTest, EmptySlotShowsBlackWithoutUploading)
{
    showWidget(120, 80);
    makeFrame(6, 4, [](TestFrame &f) { f.fillWith(qRgb(255, 255, 0)); });
    ASSERT_TRUE(showsEverywhere(qRgb(255, 255, 0)));

    std::unique_ptr<TestFrame> removed;
    widget->execute([&] { removed.reset(static_cast<TestFrame *>(slot.exchange(nullptr))); });
    int uploads = removed->uploads;
    EXPECT_TRUE(showsEverywhere(qRgb(0, 0, 0)));
    EXPECT_EQ(removed->uploads, uploads);
    widget->execute([&] { removed.reset(); });
}

TEST_F(NormalModeTest, HostBuildsEverythingBeforeEmbeddingAndShowing)
{
    // As a host does: the widget is made without a parent, a file is loaded
    // (frames and mode made through execute) and only then is the widget put
    // into the host's window and shown.
    widget = std::make_unique<GLWidget>();
    widget->execute([this] {
        mode = createMode(widget.get(), 0, &slot, 0, 0);
        auto frame = std::make_unique<TestFrame>(16, 12);
        frame->fillWith(qRgb(10, 220, 120));
        delete slot.exchange(frame.release());
    });
    ASSERT_NE(mode, nullptr);
    widget->setMode(mode);
    EXPECT_FALSE(widget->isInitialized());

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(widget.get());
    window.resize(200, 150);
    window.show();
    ASSERT_TRUE(processEventsUntil([this] { return widget->isInitialized(); }));
    EXPECT_TRUE(showsEverywhere(qRgb(10, 220, 120)));
    EXPECT_EQ(widget->size(), QSize(200, 150));

    layout->removeWidget(widget.get());
    widget->setParent(nullptr);
}

} // namespace

// GLWidget under Xvfb: a mode watching a frame slot painted only when
// something changed, the mouse input it hands its listeners, and the flat mode
// in it: the slot's frame as large as the widget allows at its display aspect
// ratio, centred and upright between black bars, uploaded once per picture.
// New pictures, an emptied slot, the render rate and showing after loading are
// seen end to end (tests/e2e). Last, a broken shader's report.
#include "common/GlTestContext.h"
#include "common/TestSupport.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "render/AbstractMode.h"
#include "render/GLWidget.h"
#include "render/IInputListener.h"
#include "render/ModeFactory.h"
#include "render/gl/FBO.h"
#include "render/gl/Program.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

// Paints green; a slot, when given, is its only source of change.
struct ProbeMode : AbstractMode {
    explicit ProbeMode(FrameSlot *slot = nullptr) : AbstractMode(0, 0), slot(slot) {}
    FrameSlot *changeSource() const override { return slot; }
    void render() override
    {
        ++renders;
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    FrameSlot *slot;
    int renders = 0;
};

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

// Waits until no paint has come for 300 ms; false when paints never stop. The
// paints that settle a change take 50 ms on an idle machine and longer on a
// busy one.
bool paintsStop(const int &renders)
{
    QElapsedTimer quiet;
    quiet.start();
    int seen = renders;
    return QTest::qWaitFor([&] {
        if (renders != seen) {
            seen = renders;
            quiet.restart();
        }
        return quiet.elapsed() >= 300;
    }, 20000);
}

// A shown widget, its GL set up.
struct ShownWidget : GLWidget {
    ShownWidget()
    {
        resize(160, 90);
        show();
        EXPECT_TRUE(QTest::qWaitFor([this] { return isInitialized(); }, 20000));
    }
};

TEST(GLWidgetTest, AModeWithAFrameSlotIsPaintedOnlyWhenSomethingChanged)
{
    ShownWidget widget;
    FrameSlot slot;
    ProbeMode probe(&slot);
    // Installing the mode paints it; once that has settled, with nothing new,
    // nothing is painted.
    widget.setMode(&probe);
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.renders > 0; }, 20000));
    ASSERT_TRUE(paintsStop(probe.renders)) << "paints go on without a change";

    // A new frame in the slot, or a resize, is painted without anyone asking,
    // and then the paints stop again.
    TestFrame first(QImage(2, 2, QImage::Format_RGBA8888)), second(first.image);
    const std::function<void()> changes[] = {[&] { slot.exchange(&first); }, [&] { slot.exchange(&second); },
                                             [&] { widget.resize(200, 120); }};
    for (const auto &change : changes) {
        const int settled = probe.renders;
        change();
        EXPECT_TRUE(QTest::qWaitFor([&] { return probe.renders > settled; }, 20000));
        ASSERT_TRUE(paintsStop(probe.renders)) << "paints go on after a change";
    }
    slot.exchange(nullptr);
    widget.setMode(nullptr);
}

// Presses, drags and the wheel reach the listeners in widget pixels, a move
// with the distance from the previous event; a removed listener hears nothing.
TEST(GLWidgetTest, MouseInputReachesItsListeners)
{
    struct Recorder : IInputListener {
        void onMouseMove(float x, float y, float dx, float dy) override { add("move", {x, y, dx, dy}); }
        void onMousePress(float x, float y) override { add("press", {x, y}); }
        void onMouseRelease(float x, float y) override { add("release", {x, y}); }
        void onWheel(float dx, float dy) override { add("wheel", {dx, dy}); }
        void add(const char *what, std::initializer_list<float> values)
        {
            log += what;
            for (float v : values)
                log += " " + std::to_string(int(v));
            log += ";";
        }
        std::string log;
    } recorder;
    GLWidget widget;
    widget.resize(200, 100);
    widget.addListener(&recorder);
    auto mouse = [&](QEvent::Type type, QPoint at) {
        QMouseEvent event(type, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&widget, &event);
    };
    mouse(QEvent::MouseButtonPress, {100, 50});
    mouse(QEvent::MouseMove, {130, 40});
    mouse(QEvent::MouseMove, {120, 45});
    mouse(QEvent::MouseButtonRelease, {120, 45});
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &wheel);
    const std::string heard = "press 100 50;move 130 40 30 -10;move 120 45 -10 5;release 120 45;wheel 0 -240;";
    EXPECT_EQ(recorder.log, heard);
    widget.removeListener(&recorder);
    mouse(QEvent::MouseButtonPress, {1, 1});
    EXPECT_EQ(recorder.log, heard) << "a removed listener was called";
}

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
    ShownWidget widget;
    AbstractMode *mode = nullptr;
    widget.execute([&] {
        mode = createMode(&widget, 0, &slot, 0, 0);
        slot.exchange(frame);
    });
    widget.setMode(mode);
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

// A broken shader is reported by its stage with the driver's log (Mesa under
// Xvfb); the wrappers leave no program and no framebuffer binding behind.
TEST(GlWrappers, ProgramReportsABrokenShaderAndWrappersCleanUp)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)";
    MessageCapture capture;
    GLuint program = 0;
    {
        GL::Program broken("#version 330 core\nvoid main() { gl_Position = vec4(1.0); }\n",
                           "#version 330 core\nout vec4 result;\nvoid main() { result = }\n");
        program = broken.id;
    }
    EXPECT_FALSE(glIsProgram(program)) << "the program outlived its wrapper";
    GL::FBO fbo; // bound when made
    fbo.unbind();
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    std::vector<QString> warnings;
    for (const MessageCapture::Message &m : capture.messages())
        if (m.type == QtWarningMsg)
            warnings.push_back(m.text);
    ASSERT_EQ(warnings.size(), 2u);
    const QString compile = "GL fragment shader failed to compile: ";
    EXPECT_TRUE(warnings[0].startsWith(compile) && warnings[0].size() > compile.size()) << warnings[0].toStdString();
    EXPECT_TRUE(warnings[1].startsWith("GL program failed to link")) << warnings[1].toStdString();
}

} // namespace

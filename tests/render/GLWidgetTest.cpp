// GLWidget under Xvfb: its Qt identity, the repaint thread's life, painting
// and the render rate with and without a mode, sizes handed to the mode, and
// mouse input reaching listeners.
#include "common/GlTestContext.h"
#include "render/AbstractMode.h"
#include "render/GLWidget.h"
#include "frames/AbstractVideoFrame.h"
#include "player/FrameSlot.h"
#include "render/IInputListener.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

void processEventsFor(int ms)
{
    processEventsUntil([] { return false; }, ms);
}

int threadsNamed(const std::string &name)
{
    int count = 0;
    DIR *dir = opendir("/proc/self/task");
    while (dirent *entry = dir ? readdir(dir) : nullptr) {
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string line;
        if (std::getline(comm, line) && line == name)
            ++count;
    }
    if (dir)
        closedir(dir);
    return count;
}

class ProbeMode : public AbstractMode {
public:
    ProbeMode() : AbstractMode(0, 0) {}
    void render() override
    {
        ++renders;
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void resize(int w, int h) override
    {
        AbstractMode::resize(w, h);
        sizes.emplace_back(w, h);
    }
    int renders = 0;
    std::vector<std::pair<int, int>> sizes;
};

// A flat-mode stand-in that declares a frame slot as its only source of change.
class SlotProbeMode : public ProbeMode {
public:
    explicit SlotProbeMode(FrameSlot *slot) : slot(slot) {}
    FrameSlot *changeSource() const override { return slot; }
    FrameSlot *slot;
};

class BlankFrame : public AbstractVideoFrame {
public:
    BlankFrame() : AbstractVideoFrame(2, 2) {}
    void updateTexture(FrameTexture &) override {}
    void fill(const AVFrame *, AVPixelFormat, int64_t timestampMs) override { beginPicture(timestampMs); }
};

// Records each callback as text, tagged with which listener got it.
class RecordingListener : public IInputListener {
public:
    explicit RecordingListener(std::vector<std::string> &log) : log(log) {}
    void onMouseMove(float x, float y, float dx, float dy) override { add("move", {x, y, dx, dy}); }
    void onMousePress(float x, float y) override { add("press", {x, y}); }
    void onMouseRelease(float x, float y) override { add("release", {x, y}); }
    void onWheel(float dx, float dy) override { add("wheel", {dx, dy}); }

private:
    void add(const char *what, std::initializer_list<float> args)
    {
        std::string line = tag + what;
        for (float a : args)
            line += " " + std::to_string(int(a));
        log.push_back(line);
    }
    std::vector<std::string> &log;

public:
    std::string tag;
};

void sendMouse(QWidget &w, QEvent::Type type, int x, int y)
{
    Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(x, y), QPointF(x, y), QPointF(x, y), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

class GLWidgetTest : public ::testing::Test {
protected:
    void SetUp() override { ensureTestApplication(); }
};

TEST_F(GLWidgetTest, QtIdentityAndCastsByName)
{
    GLWidget widget;
    EXPECT_STREQ(widget.metaObject()->className(), "GLWidget");
    EXPECT_EQ(widget.qt_metacast("GLWidget"), static_cast<void *>(&widget));
    EXPECT_EQ(widget.qt_metacast("AbstractInputHandler"),
              static_cast<void *>(static_cast<AbstractInputHandler *>(&widget)));
    EXPECT_EQ(widget.qt_metacast("IRenderView"), static_cast<void *>(static_cast<IRenderView *>(&widget)));
    EXPECT_NE(static_cast<void *>(static_cast<IRenderView *>(&widget)), static_cast<void *>(&widget));
    EXPECT_NE(widget.qt_metacast("QGLWidget"), nullptr);
    EXPECT_EQ(widget.qt_metacast("IMediaPlayer2"), nullptr);
    EXPECT_FALSE(widget.isInitialized());
}

TEST_F(GLWidgetTest, RepaintThreadLivesExactlyAsLongAsTheWidget)
{
    int before = threadsNamed("repaint");
    auto *widget = new GLWidget();
    EXPECT_EQ(threadsNamed("repaint"), before + 1);
    delete widget;
    // pthread_join returns as the thread exits; its /proc entry may take a moment.
    EXPECT_TRUE(processEventsUntil([&] { return threadsNamed("repaint") == before; }, 2000));
}

// Runs before any widget of this process is shown, so nothing but execute
// can have loaded the GL entry points.
TEST_F(GLWidgetTest, ExecuteRunsWithTheWidgetsContextBeforeShow)
{
    GLWidget widget;
    const char *version = nullptr;
    GLuint buffer = 0;
    bool ran = false;
    widget.execute([&] {
        ran = true;
        version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
        // An entry point GLEW has to load: it must be there before initializeGL.
        ASSERT_NE(glGenBuffers, nullptr);
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
    });
    EXPECT_TRUE(ran);
    EXPECT_NE(version, nullptr);
    EXPECT_NE(buffer, 0u);
    EXPECT_FALSE(widget.isInitialized());

    widget.show();
    ASSERT_TRUE(processEventsUntil([&] { return widget.isInitialized(); }));
    // Same context after show: the buffer made before is still there.
    bool stillThere = false;
    widget.execute([&] {
        stillThere = glIsBuffer(buffer);
        glDeleteBuffers(1, &buffer);
    });
    EXPECT_TRUE(stillThere);

    EXPECT_THROW(widget.execute(std::function<void()>()), std::bad_function_call);
    EXPECT_THROW(widget.execute([] { throw std::runtime_error("from work"); }), std::runtime_error);
}

TEST_F(GLWidgetTest, PaintsAndCountsOnlyWithAMode)
{
    GLWidget widget;
    widget.resize(160, 90);
    ProbeMode probe;

    // Before show: the mode gets the widget's current size at once.
    widget.setMode(&probe);
    ASSERT_EQ(probe.sizes.size(), 1u);
    EXPECT_EQ(probe.sizes[0], std::make_pair(160, 90));
    widget.setMode(nullptr);

    widget.show();
    ASSERT_TRUE(processEventsUntil([&] { return widget.isInitialized(); }));
    // The repaint thread keeps asking; without a mode nothing is painted or counted.
    processEventsFor(1500);
    EXPECT_EQ(widget.renderRate(), 0u);
    EXPECT_EQ(probe.renders, 0);

    widget.setMode(&probe);
    EXPECT_TRUE(processEventsUntil([&] { return widget.renderRate() > 0; })) << "renders " << probe.renders;
    EXPECT_GT(probe.renders, 1);
    QImage image = widget.grabFrameBuffer();
    EXPECT_EQ(image.pixel(80, 45), qRgb(0, 255, 0));

    // A resize of the shown widget reaches the mode.
    widget.resize(200, 120);
    EXPECT_TRUE(processEventsUntil([&] { return probe.sizes.back() == std::make_pair(200, 120); }));

    widget.setMode(nullptr);
    processEventsFor(50);
    int rendersSoFar = probe.renders;
    processEventsFor(300);
    EXPECT_EQ(probe.renders, rendersSoFar);
}

TEST_F(GLWidgetTest, MouseAndWheelReachListenersInPointerOrder)
{
    GLWidget widget;
    widget.resize(100, 100);
    std::vector<std::string> log;
    RecordingListener first(log), second(log);
    // Dispatch follows pointer order, whatever the order of registration.
    bool firstIsLower = std::less<RecordingListener *>()(&first, &second);
    first.tag = firstIsLower ? "a:" : "b:";
    second.tag = firstIsLower ? "b:" : "a:";
    widget.addListener(firstIsLower ? &second : &first);
    widget.addListener(firstIsLower ? &first : &second);
    widget.addListener(&second); // a set: no double delivery

    sendMouse(widget, QEvent::MouseButtonPress, 10, 20);
    sendMouse(widget, QEvent::MouseMove, 15, 18);
    sendMouse(widget, QEvent::MouseMove, 12, 30);
    sendMouse(widget, QEvent::MouseButtonRelease, 40, 40);
    // The release left the reference at the last move.
    sendMouse(widget, QEvent::MouseMove, 41, 42);
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(0, 0), QPoint(30, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &wheel);

    std::vector<std::string> expected;
    for (const char *call : {"press 10 20", "move 15 18 5 -2", "move 12 30 -3 12", "release 40 40",
                             "move 41 42 29 12", "wheel 0 -120"}) {
        expected.push_back(std::string("a:") + call);
        expected.push_back(std::string("b:") + call);
    }
    EXPECT_EQ(log, expected);

    log.clear();
    widget.removeListener(&first);
    widget.removeListener(&second);
    sendMouse(widget, QEvent::MouseButtonPress, 1, 1);
    EXPECT_TRUE(log.empty());
}

TEST_F(GLWidgetTest, AModeWithAFrameSlotIsPaintedOnlyWhenSomethingChanged)
{
    GLWidget widget;
    widget.resize(160, 90);
    widget.show();
    ASSERT_TRUE(processEventsUntil([&] { return widget.isInitialized(); }));
    FrameSlot slot;
    SlotProbeMode probe(&slot);

    // Installing the mode paints it once; then, with nothing new, nothing is painted.
    widget.setMode(&probe);
    ASSERT_TRUE(processEventsUntil([&] { return probe.renders > 0; }));
    processEventsFor(200);
    int settled = probe.renders;
    processEventsFor(400);
    EXPECT_EQ(probe.renders, settled) << "paints without a change";

    // A new frame in the slot is painted without anyone asking.
    BlankFrame first, second;
    slot.exchange(&first);
    EXPECT_TRUE(processEventsUntil([&] { return probe.renders > settled; }));
    settled = probe.renders;
    slot.exchange(&second);
    EXPECT_TRUE(processEventsUntil([&] { return probe.renders > settled; }));

    // So is a resize: the picture on screen is drawn again at the new size.
    settled = probe.renders;
    widget.resize(200, 120);
    EXPECT_TRUE(processEventsUntil([&] { return probe.renders > settled; }));

    slot.exchange(nullptr);
    widget.setMode(nullptr);
}

} // namespace

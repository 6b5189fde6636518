// GLWidget under Xvfb: what it paints and counts with and without a mode, a
// mode watching a frame slot painted only when something changed, and the
// mouse input it hands the listeners (a drag is also seen end to end).
#include "frames/AbstractVideoFrame.h"
#include "player/FrameSlot.h"
#include "render/AbstractMode.h"
#include "render/GLWidget.h"
#include "render/IInputListener.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <string>

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
    void resize(int w, int h) override { size = QSize(w, h); }
    FrameSlot *slot;
    int renders = 0;
    QSize size;
};

struct BlankFrame : AbstractVideoFrame {
    BlankFrame() : AbstractVideoFrame(2, 2) {}
    void updateTexture(FrameTexture &) override {}
    void fill(const AVFrame *, AVPixelFormat, int64_t) override {}
};

// A shown widget, its GL set up.
struct ShownWidget : GLWidget {
    ShownWidget()
    {
        resize(160, 90);
        show();
        EXPECT_TRUE(QTest::qWaitFor([this] { return isInitialized(); }, 20000));
    }
};

TEST(GLWidgetTest, PaintsAndCountsOnlyWithAMode)
{
    ProbeMode probe;
    {
        // Before show: the mode gets the widget's current size at once.
        GLWidget hidden;
        hidden.resize(120, 80);
        hidden.setMode(&probe);
        EXPECT_EQ(probe.size, QSize(120, 80));
    }
    ShownWidget widget;
    // The repaint thread keeps asking; without a mode nothing is painted or counted.
    QTest::qWait(1500);
    EXPECT_EQ(widget.renderRate(), 0u);
    EXPECT_EQ(probe.renders, 0);

    widget.setMode(&probe);
    EXPECT_TRUE(QTest::qWaitFor([&] { return widget.renderRate() > 0; }, 20000)) << "renders " << probe.renders;
    EXPECT_EQ(widget.grabFrameBuffer().pixel(80, 45), qRgb(0, 255, 0));
    widget.resize(200, 120);
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe.size == QSize(200, 120); }, 20000));

    widget.setMode(nullptr);
    QTest::qWait(50);
    const int rendersSoFar = probe.renders;
    QTest::qWait(300);
    EXPECT_EQ(probe.renders, rendersSoFar);
}

TEST(GLWidgetTest, AModeWithAFrameSlotIsPaintedOnlyWhenSomethingChanged)
{
    ShownWidget widget;
    FrameSlot slot;
    ProbeMode probe(&slot);
    // Installing the mode paints it; then, with nothing new, nothing is painted.
    widget.setMode(&probe);
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.renders > 0; }, 20000));
    QTest::qWait(200);
    int settled = probe.renders;
    QTest::qWait(400);
    EXPECT_EQ(probe.renders, settled) << "paints without a change";

    // A new frame in the slot, or a resize, is painted without anyone asking.
    BlankFrame first, second;
    const std::function<void()> changes[] = {[&] { slot.exchange(&first); }, [&] { slot.exchange(&second); },
                                             [&] { widget.resize(200, 120); }};
    for (const auto &change : changes) {
        settled = probe.renders;
        change();
        EXPECT_TRUE(QTest::qWaitFor([&] { return probe.renders > settled; }, 20000));
    }
    slot.exchange(nullptr);
    widget.setMode(nullptr);
}

// Moves are relative to the last press or move (a release leaves the
// reference alone); the wheel's vertical turn is passed on.
TEST(GLWidgetTest, MouseAndWheelReachTheListeners)
{
    struct : IInputListener {
        void onMouseMove(float, float, float dx, float dy) override { add("move", dx, dy); }
        void onMousePress(float x, float y) override { add("press", x, y); }
        void onMouseRelease(float x, float y) override { add("release", x, y); }
        void onWheel(float dx, float dy) override { add("wheel", dx, dy); }
        void add(const char *what, float a, float b)
        {
            log += what + (" " + std::to_string(int(a))) + " " + std::to_string(int(b)) + ";";
        }
        std::string log;
    } listener;
    GLWidget widget;
    widget.addListener(&listener);
    const std::pair<QEvent::Type, QPoint> events[] = {{QEvent::MouseButtonPress, {10, 20}},
                                                      {QEvent::MouseMove, {15, 18}},
                                                      {QEvent::MouseButtonRelease, {40, 40}},
                                                      {QEvent::MouseMove, {41, 42}}};
    for (const auto &e : events) {
        QMouseEvent event(e.first, e.second, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&widget, &event);
    }
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(0, 0), QPoint(30, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &wheel);
    EXPECT_EQ(listener.log, "press 10 20;move 5 -2;release 40 40;move 26 24;wheel 0 -120;");
    widget.removeListener(&listener);
}

} // namespace

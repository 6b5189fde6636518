// FpsCounter windows on a hand-driven clock: which events count, how the
// closing event's interval takes part, and what print writes.
#include "support/FpsCounter.h"
#include "support/HighResTimerProbe.h"

#include <QString>

#include <gtest/gtest.h>

#include <QLoggingCategory>

#include <vector>

struct FpsCounterProbe {
    static HighResTimer &timer(FpsCounter &counter) { return counter.timer; }
};

namespace {

int64_t g_nowNs = 0;
bool fixedCounter(int64_t *ns)
{
    *ns = g_nowNs;
    return true;
}

// A counter whose window starts at 0 on a clock the test moves.
struct ManualCounter : FpsCounter {
    explicit ManualCounter(const char *name)
        : FpsCounter(name)
    {
        g_nowNs = 0;
        HighResTimerProbe::setCounter(FpsCounterProbe::timer(*this), fixedCounter);
    }
    bool tickAt(int64_t us) // absolute time on the test clock
    {
        g_nowNs = us * 1000;
        return tick();
    }
};

// Events at these times (µs after the previous window closed at `after`, if
// given): only the last one closes the window, leaving these rates.
struct Window {
    const char *what;
    int64_t after;
    std::vector<int64_t> ticks;
    int64_t rate;
    uint64_t maxRate, minRate;
};

TEST(FpsCounter, WindowRates)
{
    const Window windows[] = {
        // Ten 100 ms intervals, the tenth landing on exactly 1 s, closed 250 ms
        // later: the closing event is not counted, but its interval is the longest.
        {"closing", 0,
         {100000, 200000, 300000, 400000, 500000, 600000, 700000, 800000, 900000, 1000000, 1250000}, 10, 10, 4},
        {"zero interval is 1 us", 0, {300000, 300000, 1500000}, 2, 1000000, 0},
        {"more than a second apart", 0, {2000000}, 0, 0, 0},
        {"exactly 1 s still inside, the next us closes", 0, {1000000, 1000001}, 1, 1000000, 1},
        // Timed from the previous close, with fresh extremes.
        {"next window", 1250000, {500000, 1500000}, 1, 2, 1},
    };
    for (const Window &w : windows) {
        SCOPED_TRACE(w.what);
        ManualCounter c("window");
        if (w.after) {
            c.tickAt(100000); // a shortest interval the next window must forget
            ASSERT_TRUE(c.tickAt(w.after));
        } else {
            EXPECT_EQ(c.rate(), 0) << "nothing is reported before the first window closes";
        }
        for (size_t i = 0; i + 1 < w.ticks.size(); ++i)
            EXPECT_FALSE(c.tickAt(w.after + w.ticks[i])) << "tick " << i;
        EXPECT_TRUE(c.tickAt(w.after + w.ticks.back()));
        EXPECT_EQ(c.rate(), w.rate);
        EXPECT_EQ(c.maxRate(), w.maxRate);
        EXPECT_EQ(c.minRate(), w.minRate);
    }
}

QtMsgType g_type;
QString g_message;
bool g_hadFile = true;
void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_type = type;
    g_message = message;
    g_hadFile = context.file != nullptr;
}

Q_LOGGING_CATEGORY(lcFpsTest, "test.fps")

TEST(FpsCounter, PrintWritesNameAndRatesInOrderToQtDebug)
{
    ManualCounter c("pushForRendering");
    for (int i = 1; i <= 4; ++i)
        c.tickAt(i * 200000);
    ASSERT_TRUE(c.tickAt(1100000));
    QtMessageHandler previous = qInstallMessageHandler(capture);
    c.print(lcFpsTest());
    qInstallMessageHandler(previous);
    EXPECT_EQ(g_type, QtDebugMsg);
    EXPECT_FALSE(g_hadFile);
    EXPECT_EQ(g_message.simplified().toStdString(), "pushForRendering 4 5 3");
}

} // namespace

// FpsCounter windows on a hand-driven clock: which events count, how the
// closing event's interval takes part, and what print writes.
#include "support/FpsCounter.h"
#include "support/HighResTimerProbe.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <gtest/gtest.h>

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
struct ManualCounter {
    explicit ManualCounter(const char *name)
        : counter(name)
    {
        g_nowNs = 0;
        HighResTimerProbe::setCounter(FpsCounterProbe::timer(counter), fixedCounter);
    }
    // Ticks at an absolute time on the test clock, in microseconds.
    bool tickAt(int64_t us)
    {
        g_nowNs = us * 1000;
        return counter.tick();
    }
    FpsCounter counter;
};

QtMsgType g_lastType;
QString g_lastMessage;
bool g_lastHadFile = true;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_lastType = type;
    g_lastMessage = message;
    g_lastHadFile = context.file != nullptr;
}

} // namespace

TEST(FpsCounter, ClosingEventTakesPartInIntervalsButNotInTheRate)
{
    ManualCounter c("window");
    for (int i = 1; i <= 10; ++i)
        EXPECT_FALSE(c.tickAt(i * 100000)) << "tick " << i; // the tenth lands on exactly 1 s
    // Nothing is reported before the first window closes.
    EXPECT_EQ(c.counter.rate(), 0);
    EXPECT_EQ(c.counter.maxRate(), 0u);
    EXPECT_EQ(c.counter.minRate(), 0u);

    EXPECT_TRUE(c.tickAt(1250000));
    EXPECT_EQ(c.counter.rate(), 10);
    EXPECT_EQ(c.counter.maxRate(), 10u); // shortest 100 ms
    EXPECT_EQ(c.counter.minRate(), 4u);  // longest is the closing 250 ms

    // The next window is timed from the closing event, with fresh extremes:
    // one event 500 ms in, then the close 1 s later.
    EXPECT_FALSE(c.tickAt(1250000 + 500000));
    EXPECT_TRUE(c.tickAt(1250000 + 1500000));
    EXPECT_EQ(c.counter.rate(), 1);
    EXPECT_EQ(c.counter.maxRate(), 2u);
    EXPECT_EQ(c.counter.minRate(), 1u);
}

TEST(FpsCounter, ZeroIntervalCountsAsOneMicrosecond)
{
    ManualCounter c("burst");
    EXPECT_FALSE(c.tickAt(300000));
    EXPECT_FALSE(c.tickAt(300000));
    EXPECT_TRUE(c.tickAt(1500000));
    EXPECT_EQ(c.counter.rate(), 2);
    EXPECT_EQ(c.counter.maxRate(), 1000000u);
    EXPECT_EQ(c.counter.minRate(), 0u); // longest 1.2 s
}

TEST(FpsCounter, EventsMoreThanASecondApartCloseEveryWindow)
{
    ManualCounter c("slow");
    EXPECT_TRUE(c.tickAt(2000000));
    EXPECT_EQ(c.counter.rate(), 0);
    EXPECT_EQ(c.counter.maxRate(), 0u);
    EXPECT_EQ(c.counter.minRate(), 0u);

    // Exactly one second after the last close still belongs to the window.
    EXPECT_FALSE(c.tickAt(2000000 + 1000000));
    EXPECT_TRUE(c.tickAt(2000000 + 1000001));
    EXPECT_EQ(c.counter.rate(), 1);
    EXPECT_EQ(c.counter.maxRate(), 1000000u); // the closing 1 us
    EXPECT_EQ(c.counter.minRate(), 1u);
}

TEST(FpsCounter, PrintWritesNameAndRatesInOrderToQtDebug)
{
    ManualCounter c("pushForRendering");
    for (int i = 1; i <= 4; ++i)
        c.tickAt(i * 200000);
    ASSERT_TRUE(c.tickAt(1100000));

    QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    g_lastMessage.clear();
    c.counter.print();
    qInstallMessageHandler(previous);

    EXPECT_EQ(g_lastType, QtDebugMsg);
    EXPECT_FALSE(g_lastHadFile);
    const QStringList items = g_lastMessage.split(' ', Qt::SkipEmptyParts);
    EXPECT_EQ(items, (QStringList{"pushForRendering", "4", "5", "3"})) << qPrintable(g_lastMessage);
}

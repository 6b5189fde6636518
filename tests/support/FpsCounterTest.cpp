// FpsCounter: the rates of a window on a hand-driven clock and the line that
// prints them, and rates read while another thread ticks on the real clock.
#include "common/TestSupport.h"
#include "support/FpsCounter.h"
#include "support/HighResTimerProbe.h"

#include <QLoggingCategory>

#include <atomic>
#include <thread>
#include <vector>

struct FpsCounterProbe {
    static HighResTimer &timer(FpsCounter &counter) { return counter.timer; }
};

Q_LOGGING_CATEGORY(lcFpsTest, "test.fps")
static int64_t g_nowUs = 0;

// Ticks at these times (us): which of them closed a window, then the line
// printed: the last window's rate, highest and lowest rate.
TEST(FpsCounter, WindowRatesAndTheirDebugLine)
{
    const std::pair<std::vector<int64_t>, QString> windows[] = {
        // Ten ticks (the shortest interval 50 ms) closed 300 ms later: the
        // closing tick is not counted, but its interval is the longest.
        {{50000, 150000, 250000, 350000, 450000, 550000, 650000, 750000, 850000, 950000, 1250000},
         "00000000001 w 10 20 3"},
        {{300000, 300000, 1500000}, "001 w 2 1000000 0"}, // a zero interval counts as 1 us
        {{1000000, 1000001}, "01 w 1 1000000 1"}, // 1 s is still inside, the next us closes
        // The next window is timed from the close, with fresh extremes.
        {{100000, 1250000, 1750000, 2750000}, "0101 w 1 2 1"},
    };
    for (const auto &w : windows) {
        g_nowUs = 0;
        FpsCounter counter("w");
        HighResTimerProbe::setCounter(FpsCounterProbe::timer(counter),
                                      [](int64_t *ns) { *ns = g_nowUs * 1000; return true; });
        QString seen;
        for (int64_t us : w.first) {
            g_nowUs = us;
            seen += QLatin1Char(counter.tick() ? '1' : '0');
        }
        MessageCapture capture;
        counter.print(lcFpsTest());
        const auto line = capture.messages().at(0);
        EXPECT_TRUE(line.type == QtDebugMsg && line.category == QStringLiteral("test.fps"));
        EXPECT_EQ(seen + ' ' + line.text.simplified(), w.second);
    }
}

// One thread ticks every 10 ms while another reads the rates (the
// ThreadSanitizer build watches this): the window counts its second's ticks.
// The window starts with the pacing, however late a busy machine starts the thread.
TEST(FpsCounter, RealTicksReadFromAnotherThread)
{
    FpsCounter counter("real");
    std::atomic<bool> closed{false};
    std::thread ticker([&] {
        FpsCounterProbe::timer(counter).restart();
        HighResTimer pace;
        for (uint64_t i = 1; !closed; ++i) {
            pace.sleepUntil(i * 10);
            closed = counter.tick();
        }
    });
    for (; !closed; sleepMs(1))
        EXPECT_LE(counter.rate(), 100);
    ticker.join();
    EXPECT_NEAR(counter.rate(), 95, 15);
}

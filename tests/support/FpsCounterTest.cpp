// FpsCounter's windows on a hand-driven clock.
#include "common/TestSupport.h"
#include "support/FpsCounter.h"
#include "support/HighResTimerProbe.h"

#include <vector>

struct FpsCounterProbe {
    static HighResTimer &timer(FpsCounter &counter) { return counter.timer; }
};

static int64_t g_nowUs = 0;

// Ticks at these times (us): which closed a window; the last window's rate, highest and lowest.
TEST(FpsCounter, WindowRates)
{
    const std::pair<std::vector<int64_t>, std::string> windows[] = {
        // The closing tick is not counted, but its interval is the longest.
        {{50000, 150000, 250000, 350000, 450000, 550000, 650000, 750000, 850000, 950000, 1250000},
         "00000000001 10 20 3"},
        {{300000, 300000, 1500000}, "001 2 1000000 0"}, // a zero interval counts as 1 us
        {{1000000, 1000001}, "01 1 1000000 1"},         // 1 s is still inside
        {{100000, 1250000, 1750000, 2750000}, "0101 1 2 1"}, // timed from the close, fresh extremes
    };
    for (const auto &w : windows) {
        g_nowUs = 0;
        FpsCounter counter("w");
        HighResTimerProbe::setCounter(FpsCounterProbe::timer(counter),
                                      [](int64_t *ns) { *ns = g_nowUs * 1000; return true; });
        std::string seen;
        for (int64_t us : w.first) {
            g_nowUs = us;
            seen += counter.tick() ? '1' : '0';
        }
        seen += ' ' + std::to_string(counter.rate()) + ' ' + std::to_string(counter.maxRate()) + ' ' +
                std::to_string(counter.minRate());
        EXPECT_EQ(seen, w.second);
    }
}

// A long trading session against the real panel: refresh ticks with live quotes and orders clicked one
// after another. Every click must give one order and one Finish, the panel must hold no more objects,
// handles or memory at the end than after its warm-up, and its refresh cycle must not slow down. The
// default run has a short session; the full one (ten thousand ticks, two hundred orders, about 18
// minutes) carries the ctest label "long".
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/long_run.h"

using namespace harness;

namespace {

void CheckSession(int orders, int seconds, double minimumTicks)
{
    const LongRunFigures run = RunLongSession(orders, seconds);
    ASSERT_TRUE(run.cameUp);
    std::printf("%.0f ticks, %zu requests; cycle %.0f ms then %.0f ms; CPU per tick %.2f ms then %.2f ms, "
                "the baseline's %.2f ms then %.2f ms\n",
                run.ticks, run.requests.size(), run.startCycle.medianIntervalMs, run.endCycle.medianIntervalMs,
                run.startCycle.cpuPerTickMs, run.endCycle.cpuPerTickMs, run.startCycle.baselineCpuPerTickMs,
                run.endCycle.baselineCpuPerTickMs);
    PrintResources("after warm-up", run.afterWarmUp);
    PrintResources("at the end", run.atEnd);

    EXPECT_GE(run.ticks, minimumTicks);
    EXPECT_EQ(run.lost, 0);
    ASSERT_EQ(run.requests.size(), size_t(2 * orders)) << "nothing duplicated, nothing lost";
    for (int i = 0; i < orders; ++i) {
        EXPECT_EQ(run.requests[2 * i].type, i % 2) << "order " << i;
        EXPECT_EQ(run.requests[2 * i + 1].type, 4) << "order " << i;
    }

    ASSERT_GT(run.afterWarmUp.gdiObjects, 0) << "the GDI table was read";
    EXPECT_LE(run.atEnd.gdiObjects - run.afterWarmUp.gdiObjects, 4);
    // The system's provider may keep handles of its own for each decoding's default key container; the
    // panel itself must keep none.
    const long providerKeeps = long(run.providerHandlesPerAcquire * double(run.repliesBetweenCounts) + 0.5);
    EXPECT_LE(run.atEnd.handles - run.afterWarmUp.handles, providerKeeps + 4)
        << "of which the provider keeps " << providerKeeps;
    EXPECT_LE(run.atEnd.anonymousKilobytes - run.afterWarmUp.anonymousKilobytes, 2048)
        << "about 200 bytes a tick would show";

    ASSERT_GE(run.startCycle.changes, 50) << "the P/L field followed the expert";
    EXPECT_GE(run.endCycle.changes, 50);
    EXPECT_LE(run.endCycle.medianIntervalMs, run.startCycle.medianIntervalMs + 20);
}

}  // namespace

TEST(LongRun, ThousandTicksAndTwentyOrdersLeaveNothingBehindAndKeepTheCycle)
{
    CheckSession(20, 100, 1000);
}

TEST(LongRunFull, TenThousandTicksAndTwoHundredOrdersLeaveNothingBehindAndKeepTheCycle)
{
    CheckSession(200, 1000, 10000);
}

// A long trading session with the whole system (terminal with live quotes, expert, stand-in service,
// the panel in its chart): orders clicked one after another over many refresh ticks, with the panel's
// refresh cycle and resources taken after a warm-up and again at the end. The long-run test judges
// the figures; the benchmark prints them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/support/process_figures.h"
#include "tests/support/system.h"

namespace harness {

// The refresh cycle over a stretch of ticks, as the trader sees it in the P/L field.
struct Cycle {
    int changes = 0;                // new values shown
    double medianIntervalMs = 0;    // between two of them
    double cpuPerTickMs = 0;        // the panel's CPU time per 100 ms
    double baselineCpuPerTickMs = 0;  // a process that only blits four bitmaps per tick, meanwhile
};

struct LongRunFigures {
    bool cameUp = false;
    double ticks = 0;               // 100 ms ticks from the panel's start to the end
    int orders = 0;
    std::vector<LoggedRequest> requests;
    std::vector<double> clickToFinishMs;  // sorted
    int lost = 0;                   // orders whose two requests did not come
    Cycle startCycle, endCycle;
    Resources afterWarmUp, atEnd;
    size_t repliesBetweenCounts = 0;  // replies the panel decoded between the two counts
    double providerHandlesPerAcquire = 0;
};

// Runs the session: a few warm-up orders, the rest spread over at least the seconds, BUY and SELL in
// turn. The expert executes each command after 100 ms.
// progress, when given, hears after every order how many are done.
LongRunFigures RunLongSession(int orders, int seconds, const std::function<void(int ordersDone)>& progress = {});

}  // namespace harness

// The order exchange's own thread. On Windows the panel is a child of the terminal's chart, and the
// system attaches the two processes' input queues: a panel thread stuck in a network call would hold the
// terminal too (its closing of the chart waits for the panel's windows). So the exchange runs beside
// the window thread, which keeps its message loop meanwhile: prices refresh, the stand-in follows the
// chart, and the chart's closing takes the panel's windows at once.
#pragma once

#include <functional>

// Runs the work on the exchanges' thread (one of its own where that one is busy) and returns once it has ended. Meanwhile this thread dispatches its
// messages but drops the trader's input (a command runs; nothing is replayed after it), and keeps a quit
// for its own loop. A fatal failure of the work is reported here, on the window thread. Where no thread
// can be started the work runs here, as a panel with one thread would.
// Then afterWork runs here: the work's result handed on. A fatal report meanwhile lets the work end and
// runs afterWork before the box (an order may be at the service already).
void RunBesideWindowThread(const std::function<void()>& work, const std::function<void()>& afterWork = {});
// Starts the thread the exchanges run on, so that the first press does not wait for it.
void PrepareExchangeThread();

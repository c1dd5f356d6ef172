#include "app/exchange_thread.h"

#include <windows.h>

#include <array>
#include <exception>
#include <new>
#include <optional>

#include "app/input_freeze.h"
#include "ui/base_window.h"
#include "win/fatal_error.h"
#include "win/system_thread.h"
#include "win/win_handles.h"

namespace {

struct Job {
    const std::function<void()>* work;
    std::optional<DeferredFatalError> failure;
};

void Run(Job& job)
{
    const FatalErrorsDeferred deferred;
    try {
        (*job.work)();
    } catch (const DeferredFatalError& failure) {
        job.failure = failure;
    } catch (...) {
        // Out of memory, or anything else the work did not expect: its own results stay as they were, and
        // the exchange failed, as when the service is down. Nothing ends the panel with an order under way.
    }
}

// One thread kept for the exchanges, started ahead of the first press: under wine a thread started at the
// press costs it a millisecond or more (each library is told of the new thread before the work begins).
// Used by the window thread alone; one job at a time.
class Worker {
public:
    Worker()
        : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), done_(CreateEventW(nullptr, FALSE, FALSE, nullptr))
    {
        if (wake_ && done_)
            thread_.reset(CreateThread(nullptr, 0, Loop, this, 0, nullptr));
    }

    // Hands the job over: false where there is no worker or it serves a job already (a wait that dispatched
    // a handler starting an exchange of its own).
    bool Start(Job& job)
    {
        if (!thread_ || job_)
            return false;
        job_ = &job;
        if (SetEvent(wake_.get()))
            return true;
        job_ = nullptr;
        return false;
    }
    // Signalled once the job has run, or the worker is gone.
    std::array<HANDLE, 2> ended() const { return {done_.get(), thread_.get()}; }
    void Finished() { job_ = nullptr; }

private:
    static DWORD WINAPI Loop(void* parameter)
    {
        Worker& worker = *static_cast<Worker*>(parameter);
        while (WaitForSingleObject(worker.wake_.get(), INFINITE) == WAIT_OBJECT_0) {
            Run(*worker.job_);
            SetEvent(worker.done_.get());
        }
        return 0;
    }

    win::UniqueHandleObject wake_, done_, thread_;
    Job* job_ = nullptr;
};

// Never destroyed: its thread waits on its events until the process ends. None where memory is short.
Worker* TheWorker()
{
    static Worker* const worker = new (std::nothrow) Worker;
    return worker;
}

// The exchange the window thread waits for, while it waits: a fatal report meanwhile lets it end first.
struct UnderWay {
    const HANDLE* ended;
    DWORD count;
    const std::function<void()>* afterWork;
    bool workEnded;
    bool afterWorkDone;
    UnderWay* outer;  // an exchange started by a handler during another's wait
};
UnderWay* underWay = nullptr;

void RunAfterWork(UnderWay& exchange)
{
    if (exchange.afterWorkDone)
        return;
    exchange.afterWorkDone = true;
    if (*exchange.afterWork) {
        try {
            (*exchange.afterWork)();
        } catch (...) {
            // Its result not handed on: as when the exchange failed.
        }
    }
}

bool FinishExchangesBeforeReport(bool dispatchSent)
{
    // Waits for each worker (taking only the messages other threads send, so that a terminal calling
    // into the panel's windows is not held) and hands its result on, innermost first.
    bool any = false;
    for (UnderWay* exchange = underWay; exchange; exchange = exchange->outer) {
        any = true;
        if (!dispatchSent && !exchange->workEnded) {
            // The work is the order path's alone and sends the window thread nothing: a plain wait ends.
            WaitForMultipleObjects(exchange->count, exchange->ended, FALSE, INFINITE);
            exchange->workEnded = true;
        }
        while (!exchange->workEnded) {
            const DWORD woken =
                MsgWaitForMultipleObjectsEx(exchange->count, exchange->ended, INFINITE, QS_SENDMESSAGE, 0);
            if (woken != WAIT_OBJECT_0 + exchange->count) {
                if (woken == WAIT_FAILED)
                    WaitForMultipleObjects(exchange->count, exchange->ended, FALSE, INFINITE);
                exchange->workEnded = true;
            } else {
                MSG message;
                PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            }
        }
        RunAfterWork(*exchange);
    }
    return any;
}

// Dispatches this thread's messages, all but the trader's input, until one of the handles is signalled.
void WaitDispatching(const HANDLE* handles, DWORD count, bool& quit, std::exception_ptr& thrown)
{
    for (;;) {
        // Sent messages are taken by the peek below too: another process's call into the panel's windows
        // (the terminal destroying the chart) never waits for the exchange.
        const DWORD woken = MsgWaitForMultipleObjectsEx(count, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken < WAIT_OBJECT_0 + count)
            return;
        if (woken == WAIT_FAILED) {
            WaitForMultipleObjects(count, handles, FALSE, INFINITE);
            return;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                quit = true;  // the panel's own loop ends once the command is over
            else if (!IsInputMessage(message.message)) {
                try {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                } catch (...) {
                    if (!thrown)
                        thrown = std::current_exception();
                }
            }
        }
    }
}

}  // namespace

void PrepareExchangeThread()
{
    TheWorker();
    SetFatalErrorExchangeEnd(FinishExchangesBeforeReport);
}

void RunBesideWindowThread(const std::function<void()>& work, const std::function<void()>& afterWork)
{
    SetFatalErrorExchangeEnd(FinishExchangesBeforeReport);
    Job job{&work, std::nullopt};
    bool quit = false;
    // A handler dispatched meanwhile that throws must not end the wait before the worker: the worker still
    // writes into this frame. What it threw goes on once the worker has ended.
    std::exception_ptr thrown;
    Worker* const worker = TheWorker();
    win::UniqueHandleObject thread;
    std::array<HANDLE, 2> ended = {};
    DWORD count = 0;
    if (worker && worker->Start(job)) {
        ended = worker->ended();
        count = static_cast<DWORD>(ended.size());
    } else {
        thread = win::StartThread([&job] { Run(job); });
        if (thread) {
            ended[0] = thread.get();
            count = 1;
        }
    }
    UnderWay exchange{ended.data(), count, &afterWork, count == 0, false, underWay};
    underWay = &exchange;
    if (count == 0)
        Run(job);  // no thread to be had: here, as a panel with one thread would
    else if (!exchange.workEnded)
        WaitDispatching(ended.data(), count, quit, thrown);
    exchange.workEnded = true;
    if (worker && count == 2)
        worker->Finished();
    RunAfterWork(exchange);
    // A failure of the work's own is reported with the exchange still counted as under way.
    if (job.failure)
        ReportFatalError(*job.failure);
    underWay = exchange.outer;
    if (quit)
        QuitPanel();
    if (thrown)
        std::rethrow_exception(thrown);
}

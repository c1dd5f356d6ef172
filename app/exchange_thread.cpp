#include "app/exchange_thread.h"

#include <windows.h>

#include <exception>
#include <new>
#include <optional>

#include "app/input_freeze.h"
#include "ui/base_window.h"
#include "ui/fatal_error.h"
#include "ui/win_handles.h"

namespace {

struct Job {
    const std::function<void()>* work;
    std::optional<DeferredFatalError> failure;
};

DWORD WINAPI RunJob(void* parameter)
{
    Job& job = *static_cast<Job*>(parameter);
    const FatalErrorsDeferred deferred;
    try {
        (*job.work)();
    } catch (const DeferredFatalError& failure) {
        job.failure = failure;
    } catch (...) {
        // Out of memory, or anything else the work did not expect: its own results stay as they were, and
        // the exchange failed, as when the service is down. Nothing ends the panel with an order under way.
    }
    return 0;
}

}  // namespace

void RunBesideWindowThread(const std::function<void()>& work)
{
    Job job{&work, std::nullopt};
    const win::UniqueHandleObject thread(CreateThread(nullptr, 0, RunJob, &job, 0, nullptr));
    if (!thread) {
        work();
        return;
    }
    bool quit = false;
    // A handler dispatched meanwhile that throws must not end the wait before the worker: the worker still
    // writes into this frame. What it threw goes on once the worker has ended.
    std::exception_ptr thrown;
    for (;;) {
        const HANDLE ended = thread.get();
        // Sent messages are taken by the peek below too: another process's call into the panel's windows
        // (the terminal destroying the chart) never waits for the exchange.
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &ended, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0)
            break;
        if (woken == WAIT_FAILED) {
            WaitForSingleObject(ended, INFINITE);
            break;
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
    if (quit)
        QuitPanel();
    if (job.failure)
        ReportFatalError(*job.failure);
    if (thrown)
        std::rethrow_exception(thrown);
}

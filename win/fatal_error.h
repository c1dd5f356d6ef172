// The panel's one error reporter: every tested system call that fails ends here.
#pragma once

#include <cstddef>

// Shows "<context> failed with error <code>: <system text>" in a message box captioned "Error" and ends
// the process with the calling thread's last error as exit code (1 when it is 0). The last error is taken
// first, before any other call can change it. It shows one box: a second failure, while the first waits
// for the exchange or shows its box, ends the process without one, once the exchange has handed its
// answer on and with the last words said.
[[noreturn]] void ReportFatalError(const wchar_t* context);
// What must stop before the box shows, so nothing acts behind it: the program's timers and input.
void SetFatalErrorStop(void (*stop)());
// What runs before the box, after the stop: an exchange under way is let end and hands its result on
// (its worker may have sent an order already). It returns whether one was under way; the box then says
// that an order may be pending. With dispatchSent the messages other threads send are dispatched while it
// waits (the first report's); a second report's wait takes none, so a failure that lasts cannot come
// back inside it.
void SetFatalErrorExchangeEnd(bool (*finishExchange)(bool dispatchSent));
// What runs last, with the exit code, as the process ends after the box.
void SetFatalErrorLastWords(void (*lastWords)(unsigned long exitCode));
// The box is up: the process ends once it is closed, and nothing may start meanwhile.
bool FatalReportShowing();

// A failure met on a thread that owns no window: the window thread reports it once the work has ended.
struct DeferredFatalError {
    const wchar_t* context;
    unsigned long error;
};
// While it lives, ReportFatalError on this thread throws a DeferredFatalError instead of showing the box:
// the box and the stop before it belong to the window thread.
class FatalErrorsDeferred {
public:
    FatalErrorsDeferred();
    FatalErrorsDeferred(const FatalErrorsDeferred&) = delete;
    FatalErrorsDeferred& operator=(const FatalErrorsDeferred&) = delete;
    ~FatalErrorsDeferred();
};
// Reports a failure another thread deferred, with its own last error.
[[noreturn]] void ReportFatalError(const DeferredFatalError& failure);

// The wide characters the reporter allows for the box's text (terminator included): room for the longest
// code and the line an order under way adds.
size_t FatalMessageChars(const wchar_t* context, const wchar_t* systemText);
// Writes the box's text into out (outChars wide characters, terminator included), cut at its end.
void FormatFatalMessage(wchar_t* out, size_t outChars, const wchar_t* context, int errorCode,
                        const wchar_t* systemText, bool orderUnderWay = false);

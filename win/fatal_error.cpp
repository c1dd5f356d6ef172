#include "win/fatal_error.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "win/win_handles.h"

namespace {

// The line the box adds when an order was under way.
const wchar_t* const orderMayBePendingText =
    L"A command was on its way to the order service: an order may be pending. Check the terminal's trades.";

}  // namespace

void FormatFatalMessage(wchar_t* out, size_t outChars, const wchar_t* context, int errorCode,
                        const wchar_t* systemText, bool orderUnderWay)
{
    if (outChars == 0)
        return;
    std::wstring text = std::wstring(context) + L" failed with error " + std::to_wstring(errorCode) + L": " +
                        systemText;
    if (orderUnderWay)
        text += std::wstring(L"\r\n\r\n") + orderMayBePendingText;
    const size_t length = std::min(text.size(), outChars - 1);
    std::wmemcpy(out, text.c_str(), length);
    out[length] = L'\0';
}

size_t FatalMessageChars(const wchar_t* context, const wchar_t* systemText)
{
    // " failed with error " (19), the longest code (-2147483648, 11), ": " (2), two line breaks (4) and
    // the terminator, with room to spare.
    return std::wcslen(systemText) + std::wcslen(context) + std::wcslen(orderMayBePendingText) + 48;
}

namespace {

void (*stopBeforeReport)() = nullptr;
bool (*finishExchangeBeforeReport)(bool) = nullptr;
void (*lastWordsBeforeExit)(unsigned long) = nullptr;
bool reporting = false;
bool endingAgain = false;  // a second failure came while the first was reported
thread_local bool deferring = false;

}  // namespace

void SetFatalErrorStop(void (*stop)())
{
    stopBeforeReport = stop;
}

void SetFatalErrorExchangeEnd(bool (*finishExchange)(bool))
{
    finishExchangeBeforeReport = finishExchange;
}

void SetFatalErrorLastWords(void (*lastWords)(unsigned long exitCode))
{
    lastWordsBeforeExit = lastWords;
}

FatalErrorsDeferred::FatalErrorsDeferred() { deferring = true; }

FatalErrorsDeferred::~FatalErrorsDeferred() { deferring = false; }

void ReportFatalError(const DeferredFatalError& failure)
{
    SetLastError(failure.error);
    ReportFatalError(failure.context);
}

bool FatalReportShowing() { return reporting; }

void ReportFatalError(const wchar_t* context)
{
    const DWORD error = GetLastError();
    if (deferring)
        throw DeferredFatalError{context, error};
    // 0 is what a close by the trader gives; a failure that set no last error still ends with a failure.
    const UINT exitCode = error != 0 ? error : 1;
    // A failure while the first waits for the exchange, or while its box is up (both dispatch), gets no
    // second box. The order may be at the service all the same: its answer still reaches the expert, and
    // the journal still gets its last line.
    if (reporting) {
        if (!endingAgain) {
            endingAgain = true;
            if (finishExchangeBeforeReport)
                finishExchangeBeforeReport(false);
        }
        if (lastWordsBeforeExit)
            lastWordsBeforeExit(exitCode);
        ExitProcess(exitCode);
    }
    reporting = true;
    if (stopBeforeReport)
        stopBeforeReport();
    // The last error goes first: what the exchange's end calls may change it.
    const bool orderUnderWay = finishExchangeBeforeReport && finishExchangeBeforeReport(true);

    wchar_t* systemText = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<wchar_t*>(&systemText), 0, nullptr);
    win::UniqueLocal systemTextOwner(systemText);
    // A code the system has no text for still shows its number.
    const wchar_t* shownSystemText = systemText ? systemText : L"";

    const size_t bufferChars = FatalMessageChars(context, shownSystemText);
    win::UniqueLocal buffer(LocalAlloc(LMEM_ZEROINIT, bufferChars * sizeof(wchar_t)));
    if (buffer) {
        // A quit already posted (the chart closing takes the panel's windows with it) would end the
        // box's loop at once; the process ends anyway, so take the quit away and let the user read it.
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        auto* text = static_cast<wchar_t*>(buffer.get());
        FormatFatalMessage(text, bufferChars, context, static_cast<int>(error), shownSystemText, orderUnderWay);
        // Above the panel's dialogs, which are topmost themselves, so the trader can read it and reach OK.
        MessageBoxW(nullptr, text, L"Error", MB_OK | MB_TOPMOST | MB_SETFOREGROUND);
    }
    systemTextOwner.close();
    buffer.close();
    if (lastWordsBeforeExit)
        lastWordsBeforeExit(exitCode);
    ExitProcess(exitCode);
}

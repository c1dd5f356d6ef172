// Ends through the panel's error reporter with a chosen last error, so tests can read what a trader sees.
//
//   fatal_error_probe.exe <error code> <context> [quit-first]
//   fatal_error_probe.exe lasting
//   <chart handle> dialog
//   <chart handle> exchange [twice]
//   <chart handle> starved-tick
//
// quit-first posts the quit message before the report, as a closing chart does to the panel. lasting runs
// the real panel on its own (past its "Not a window handle" box) with its background brush gone, so that
// its drawing fails on every paint and every refresh tick, as a lasting failure does. dialog runs the real
// panel on the chart whose handle starts its command line, opens the Executing dialog and makes the next
// refresh tick behind it fail. exchange runs the real panel on the chart and presses BUY; a refresh tick
// fails a second later, while the exchange waits for the service. With twice, a message another thread
// sends the panel's window fails too (error 5) while that report waits for the exchange. starved-tick runs the
// real panel on the chart and presses BUY with no service to answer: one tick of the Executing dialog meets
// a lack of memory, the trader cancels once a later tick has drawn the progress again; the exit code says
// whether the command came out whole (0), the dialog ended otherwise (3), the command stayed marked running
// (4) or the panel stayed disabled (5).
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "app/panel.h"
#include "res/resource.h"
#include "tests/unit/allocation_limit.h"
#include "win/fatal_error.h"
#include "win/win_handles.h"

namespace {

// The panel's drawing fails from now on: its background brush, the class's, is gone.
void BreakTheDrawingNow()
{
    DeleteObject(reinterpret_cast<HBRUSH>(GetClassLongPtrW(PanelWindow(), GCLP_HBRBACKGROUND)));
}

void CALLBACK BreakTheDrawing(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    BreakTheDrawingNow();
}

// The panel's Executing dialog, when it is up.
HWND ExecutingDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM result) {
            wchar_t caption[32] = {};
            GetWindowTextW(window, caption, 32);
            if (std::wstring(caption) != L"Executing")
                return TRUE;
            *reinterpret_cast<HWND*>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Breaks the drawing once the Executing dialog is up, so the next refresh tick behind it fails.
void CALLBACK BreakTheDrawingBehindTheDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (!ExecutingDialog())
        return;
    KillTimer(nullptr, timer);
    BreakTheDrawingNow();
}

// Starves one of the Executing dialog's ticks: every allocation fails while its handler runs. Then waits
// for a later tick to draw the progress line anew, which only a dialog still polling does, and cancels.
struct StarvedTick {
    enum { waiting, starving, recovering, cancelled } phase = waiting;
    WNDPROC dialogProcedure = nullptr;
    std::wstring shownAfterStarving;
    static StarvedTick watch;

    static std::wstring ProgressLine(HWND dialog)
    {
        wchar_t shown[64] = {};
        GetDlgItemTextW(dialog, IDC_PROGRESS_LINE, shown, 64);
        return shown;
    }
    static LRESULT CALLBACK Dialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message != WM_TIMER || watch.phase == cancelled)
            return CallWindowProcW(watch.dialogProcedure, dialog, message, wParam, lParam);
        if (watch.phase == starving) {
            failAllocationsFrom = 1;
            const LRESULT result = CallWindowProcW(watch.dialogProcedure, dialog, message, wParam, lParam);
            failAllocationsFrom = 0;
            watch.shownAfterStarving = ProgressLine(dialog);
            watch.phase = recovering;
            return result;
        }
        const LRESULT result = CallWindowProcW(watch.dialogProcedure, dialog, message, wParam, lParam);
        if (ProgressLine(dialog) != watch.shownAfterStarving) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            watch.phase = cancelled;
        }
        return result;
    }
    static void CALLBACK Find(HWND, UINT, UINT_PTR timer, DWORD)
    {
        const HWND dialog = ExecutingDialog();
        if (!dialog)
            return;
        KillTimer(nullptr, timer);
        watch.dialogProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Dialog)));
        watch.phase = starving;
    }
};
StarvedTick StarvedTick::watch;

constexpr UINT failingMessage = WM_APP + 77;
WNDPROC panelProcedure = nullptr;

LRESULT CALLBACK FailingOnSentMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == failingMessage) {
        SetLastError(ERROR_ACCESS_DENIED);
        ReportFatalError(L"Second failure");
    }
    return CallWindowProcW(panelProcedure, window, message, wParam, lParam);
}

// Sends the failing message once the first report has begun, as a terminal calling into the panel would.
DWORD WINAPI SendWhileReporting(void* window)
{
    while (!FatalReportShowing())
        Sleep(10);
    SendMessageW(static_cast<HWND>(window), failingMessage, 0, 0);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words || count < 2)
        return 2;
    if (std::wcscmp(words[1], L"lasting") == 0) {
        CoInitialize(nullptr);
        if (!MakeMainWindow() || !CreatePanel(instance, SW_SHOW))
            return 2;
        BreakTheDrawingNow();
        InvalidateRect(PanelWindow(), nullptr, TRUE);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        return 0;
    }
    if (std::wcscmp(words[1], L"exchange") == 0) {
        CoInitialize(nullptr);
        if (!MakeMainWindow() || !CreatePanel(instance, SW_SHOW))
            return 2;
        SetTimer(nullptr, 0, 1000, BreakTheDrawing);
        if (count > 2 && std::wcscmp(words[2], L"twice") == 0) {
            const HWND window = PanelWindow();
            panelProcedure = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FailingOnSentMessage)));
            const win::UniqueHandleObject sender(CreateThread(nullptr, 0, SendWhileReporting, window, 0, nullptr));
            if (!sender)
                return 2;
        }
        RunTradeCommand(Buy);
        return 0;
    }
    if (std::wcscmp(words[1], L"dialog") == 0) {
        CoInitialize(nullptr);
        if (!MakeMainWindow() || !CreatePanel(instance, SW_SHOW))
            return 2;
        // No service answers: the order fails at once and the dialog waits for the expert.
        SetTimer(nullptr, 0, 50, BreakTheDrawingBehindTheDialog);
        RunTradeCommand(Buy);
        return 0;
    }
    if (std::wcscmp(words[1], L"starved-tick") == 0) {
        CoInitialize(nullptr);
        if (!MakeMainWindow() || !CreatePanel(instance, SW_SHOW))
            return 2;
        SetTimer(nullptr, 0, 50, StarvedTick::Find);
        RunTradeCommand(Buy);
        failAllocationsFrom = 0;
        if (StarvedTick::watch.phase != StarvedTick::cancelled)
            return 3;
        if (TradeCommandRunning())
            return 4;
        return IsWindowEnabled(PanelWindow()) ? 0 : 5;
    }
    if (count < 3)
        return 2;
    const auto code = static_cast<DWORD>(std::wcstoul(words[1], nullptr, 0));
    if (count > 3 && std::wcscmp(words[3], L"quit-first") == 0)
        PostQuitMessage(0);
    SetLastError(code);
    ReportFatalError(words[2]);
}

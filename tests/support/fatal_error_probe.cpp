// Ends through the panel's error reporter with a chosen last error, so tests can read what a trader sees.
//
//   fatal_error_probe.exe <error code> <context> [quit-first]
//   fatal_error_probe.exe lasting
//   <chart handle> dialog
//   <chart handle> exchange [twice]
//
// quit-first posts the quit message before the report, as a closing chart does to the panel. lasting runs
// the real panel on its own (past its "Not a window handle" box) with its background brush gone, so that
// its drawing fails on every paint and every refresh tick, as a lasting failure does. dialog runs the real
// panel on the chart whose handle starts its command line, opens the Executing dialog and makes the next
// refresh tick behind it fail. exchange runs the real panel on the chart and presses BUY; a refresh tick
// fails a second later, while the exchange waits for the service. With twice, a message another thread
// sends the panel's window fails too (error 5) while that report waits for the exchange.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cwchar>

#include "app/main_window.h"
#include "res/resource.h"
#include "win/fatal_error.h"
#include "win/win_handles.h"

namespace {

void CALLBACK BreakTheDrawing(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    DeleteObject(GetMainWindow().backgroundBrush);
}

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
        if (!MakeMainWindow() || !GetMainWindow().Create(instance, SW_SHOW))
            return 2;
        DeleteObject(GetMainWindow().backgroundBrush);
        InvalidateRect(GetMainWindow().hWnd, nullptr, TRUE);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        return 0;
    }
    if (std::wcscmp(words[1], L"exchange") == 0) {
        CoInitialize(nullptr);
        if (!MakeMainWindow() || !GetMainWindow().Create(instance, SW_SHOW))
            return 2;
        SetTimer(nullptr, 0, 1000, BreakTheDrawing);
        if (count > 2 && std::wcscmp(words[2], L"twice") == 0) {
            const HWND window = GetMainWindow().hWnd;
            panelProcedure = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FailingOnSentMessage)));
            const win::UniqueHandleObject sender(CreateThread(nullptr, 0, SendWhileReporting, window, 0, nullptr));
            if (!sender)
                return 2;
        }
        GetMainWindow().tradeCommand(Buy);
        return 0;
    }
    if (std::wcscmp(words[1], L"dialog") == 0) {
        CoInitialize(nullptr);
        if (!MakeMainWindow() || !GetMainWindow().Create(instance, SW_SHOW))
            return 2;
        CMainWindow& main = GetMainWindow();
        SetTimer(nullptr, 0, 300, BreakTheDrawing);
        main.showDialog(IDD_EXECUTING, main.hWnd, ExecutingDialogProc);
        return 0;
    }
    if (count < 3)
        return 2;
    const auto code = static_cast<DWORD>(std::wcstoul(words[1], nullptr, 0));
    if (count > 3 && std::wcscmp(words[3], L"quit-first") == 0)
        PostQuitMessage(0);
    SetLastError(code);
    ReportFatalError(words[2]);
}

// Ends through the panel's error reporter with a chosen last error, so tests can read what a trader sees.
//
//   fatal_error_probe.exe <error code> <context> [quit-first]
//   fatal_error_probe.exe lasting
//   <chart handle> dialog
//   <chart handle> exchange
//
// quit-first posts the quit message before the report, as a closing chart does to the panel. lasting runs
// the real panel on its own (past its "Not a window handle" box) with its background brush gone, so that
// its drawing fails on every paint and every refresh tick, as a lasting failure does. dialog runs the real
// panel on the chart whose handle starts its command line, opens the Executing dialog and makes the next
// refresh tick behind it fail. exchange runs the real panel on the chart and presses BUY; a refresh tick
// fails a second later, while the exchange waits for the service.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cwchar>

#include "app/main_window.h"
#include "res/resource.h"
#include "ui/fatal_error.h"

namespace {

void CALLBACK BreakTheDrawing(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    DeleteObject(GetMainWindow().backgroundBrush);
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

#include "ui/client_area.h"

#include "app/main_window.h"
#include "res/resource.h"
#include "ui/callback_guard.h"
#include "ui/fatal_error.h"

bool CClientArea::Create(CBaseWindow& main, CBaseWindow& closeButton)
{
    hInstance = main.hInstance;
    if (!LoadStringW(hInstance, IDS_CLIENT_AREA_CLASS, className, static_cast<int>(std::size(className))))
        ReportFatalError(L"CClientArea::Create");
    font = main.font;
    windowProc = ClientAreaProc;
    backgroundBrush = CreateSolidBrush(RGB(255, 255, 255));
    if (!backgroundBrush)
        ReportFatalError(L"CClientArea::Create");
    x = 0;
    y = closeButton.height + 1;
    height = main.height - closeButton.height - 5;
    width = main.width - 5;
    hWndParent = main.hWnd;
    dwExStyle = WS_EX_STATICEDGE;
    dwStyle = WS_CHILD | WS_VISIBLE;
    Initialize(hInstance, SW_SHOW);
    return true;
}

static LRESULT ClientAreaProcHandled(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        QuitPanel();
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_CLOSE_ALL_BUTTON) {
        CMainWindow& main = GetMainWindow();
        // Sent straight to the panel while a command runs (an automation client does) or a fatal report is
        // up: a Close All dialog inside that wait could never be closed, its every button refused.
        if (main.tradeCommandRunning || FatalReportShowing()) {
            main.refusePress();
            return 0;
        }
        main.showDialog(IDD_CLOSE_ALL, window, CloseAllDialogProc);
        return 0;
    }
    // The combo boxes' and fields' notifications need nothing.
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ClientAreaProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::GuardedWindowMessage(window, message, wParam, lParam,
                                     [&] { return ClientAreaProcHandled(window, message, wParam, lParam); });
}

#include "app/placement.h"

#include "app/main_window.h"
#include "res/resource.h"
#include "win/callback_guard.h"
#include "win/fatal_error.h"

HWND ParentWindow(HWND window)
{
    const HWND parent = GetAncestor(window, GA_PARENT);
    return parent == GetDesktopWindow() ? nullptr : parent;
}

void ResetWindowPos(HWND window)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        ReportFatalError(L"ResetWindowPos");
    // A top-level window (the panel on its own, or a chart given as a top-level window) is placed in
    // screen coordinates, which its rectangle already is.
    POINT corner = {rect.left, rect.top};
    const HWND parent = ParentWindow(window);
    if (parent && !ScreenToClient(parent, &corner))
        ReportFatalError(L"ResetWindowPos");
    // On its own the panel is raised on every hit test: that must not take the focus from the window the
    // trader types in, nor rebuild its frame under the mouse.
    const UINT flags = parent ? SWP_SHOWWINDOW | SWP_FRAMECHANGED : SWP_SHOWWINDOW | SWP_NOACTIVATE;
    if (!SetWindowPos(window, HWND_TOP, corner.x, corner.y, rect.right - rect.left, rect.bottom - rect.top, flags))
        ReportFatalError(L"ResetWindowPos");
}

namespace {

// Both title-strip buttons: drawn by the system from their bitmap brush, at the top of the panel.
void CreateStripButton(CBaseWindow& button, CBaseWindow& panel, UINT classId, WNDPROC procedure, WORD bitmapId,
                       const wchar_t* context, const wchar_t* backgroundContext)
{
    button.hInstance = panel.hInstance;
    if (!LoadStringW(button.hInstance, classId, button.className, static_cast<int>(std::size(button.className))))
        ReportFatalError(context);
    button.windowProc = procedure;
    if (!button.LoadBackground(bitmapId))
        ReportFatalError(backgroundContext);
    button.y = 0;
    button.hWndParent = panel.hWnd;
    button.dwStyle = WS_CHILD | WS_VISIBLE;
}

// The pin returns the panel only into the chart it came from: a closed chart's handle value can come back
// as an unrelated window.
bool ChartStillThere(const CMainWindow& main)
{
    DWORD owner = 0;
    return GetWindowThreadProcessId(main.hWndChart, &owner) && owner == main.terminalProcess;
}

}  // namespace

bool CCloseButton::Create(CBaseWindow& panel)
{
    CreateStripButton(*this, panel, IDS_CLOSE_BUTTON_CLASS, CloseButtonProc, IDB_CLOSE_BUTTON,
                      L"CCloseButton::Create", L"Can't create CloseButton BackGroundBrush");
    x = panel.width - width - 2;
    dwExStyle = WS_EX_TOOLWINDOW;
    Initialize(hInstance, SW_SHOW);
    return true;
}

bool CPinButton::Create(CBaseWindow& panel, CBaseWindow& closeButton)
{
    CreateStripButton(*this, panel, IDS_PIN_BUTTON_CLASS, PinButtonProc, IDB_PIN_BUTTON, L"CPinButton::Create",
                      L"Can't create PinButton BackGroundBrush");
    x = closeButton.x - width - 1;
    dwExStyle = 0;
    Initialize(hInstance, SW_SHOW);
    return true;
}

void MoveToOriginPos(HWND pinButton)
{
    const HWND panel = GetParent(pinButton);
    if (!IsWindow(panel))
        return;
    if (CMainWindow& main = GetMainWindow(); main.overlay.active()) {
        // The stand-in child moves between the same two windows, to the same places.
        const HWND terminal = main.overlay.terminal();
        if (main.overlay.anchor() != terminal)
            main.overlay.MoveInto(terminal, {main.x, main.y});
        else if (ChartStillThere(main))
            main.overlay.MoveInto(main.hWndChart, {6, 20});
        return;
    }
    const HWND current = GetParent(panel);
    const HWND root = GetAncestor(pinButton, GA_ROOT);
    // A panel on its own is its own top-level window: there is nowhere to move it.
    if (!IsWindow(root) || root == panel)
        return;
    CMainWindow& main = GetMainWindow();
    if (current != root) {
        // Out of the chart into the top-level window, always at the same place.
        SetParent(panel, root);
        if (!SetWindowPos(main.hWnd, HWND_TOP, main.x, main.y, 0, 0, SWP_SHOWWINDOW | SWP_NOSIZE))
            ReportFatalError(L"CMainWindow::MoveToOriginPos");
    } else if (ChartStillThere(main)) {
        SetParent(panel, main.hWndChart);
        SetWindowPos(main.hWnd, HWND_TOP, 6, 20, 0, 0, SWP_SHOWWINDOW | SWP_NOSIZE);
    }
}

static LRESULT CloseButtonProcHandled(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
    case WM_LBUTTONUP:  // the release over the button, not the press, ends the panel
        QuitPanel();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK CloseButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::GuardedWindowMessage(window, message, wParam, lParam,
                                     [&] { return CloseButtonProcHandled(window, message, wParam, lParam); });
}

static LRESULT PinButtonProcHandled(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        QuitPanel();
        return 0;
    case WM_LBUTTONUP:
        MoveToOriginPos(window);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK PinButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::GuardedWindowMessage(window, message, wParam, lParam,
                                     [&] { return PinButtonProcHandled(window, message, wParam, lParam); });
}

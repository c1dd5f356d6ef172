#include "app/placement.h"

#include "res/resource.h"
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

bool ChartStillThere(HWND chart, DWORD terminalProcess)
{
    DWORD owner = 0;
    return GetWindowThreadProcessId(chart, &owner) && owner == terminalProcess;
}

void MovePanelBetweenChartAndTop(HWND pinButton, HWND chart, DWORD terminalProcess, POINT origin)
{
    const HWND panel = GetParent(pinButton);
    const HWND current = GetParent(panel);
    const HWND root = GetAncestor(pinButton, GA_ROOT);
    // A panel on its own is its own top-level window: there is nowhere to move it.
    if (!IsWindow(panel) || !IsWindow(root) || root == panel)
        return;
    if (current != root) {
        // Out of the chart into the top-level window, always at the same place.
        SetParent(panel, root);
        if (!SetWindowPos(panel, HWND_TOP, origin.x, origin.y, 0, 0, SWP_SHOWWINDOW | SWP_NOSIZE))
            ReportFatalError(L"CMainWindow::MoveToOriginPos");
    } else if (ChartStillThere(chart, terminalProcess)) {
        SetParent(panel, chart);
        SetWindowPos(panel, HWND_TOP, 6, 20, 0, 0, SWP_SHOWWINDOW | SWP_NOSIZE);
    }
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

bool CPinButton::Create(CBaseWindow& panel, CBaseWindow& closeButton, WNDPROC procedure)
{
    CreateStripButton(*this, panel, IDS_PIN_BUTTON_CLASS, procedure, IDB_PIN_BUTTON, L"CPinButton::Create",
                      L"Can't create PinButton BackGroundBrush");
    x = closeButton.x - width - 1;
    dwExStyle = 0;
    Initialize(hInstance, SW_SHOW);
    return true;
}

LRESULT CloseButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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

#include "app/placement.h"

#include "ui/fatal_error.h"

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
    if (const HWND parent = ParentWindow(window); parent && !ScreenToClient(parent, &corner))
        ReportFatalError(L"ResetWindowPos");
    if (!SetWindowPos(window, HWND_TOP, corner.x, corner.y, rect.right - rect.left, rect.bottom - rect.top,
                      SWP_SHOWWINDOW | SWP_FRAMECHANGED))
        ReportFatalError(L"ResetWindowPos");
}

#include "ui/client_area.h"

#include "res/resource.h"
#include "win/fatal_error.h"

bool CClientArea::Create(CBaseWindow& main, CBaseWindow& closeButton, WNDPROC procedure)
{
    hInstance = main.hInstance;
    if (!LoadStringW(hInstance, IDS_CLIENT_AREA_CLASS, className, static_cast<int>(std::size(className))))
        ReportFatalError(L"CClientArea::Create");
    font = main.font;
    windowProc = procedure;
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

#include "ui/spread_window.h"

#include "res/resource.h"
#include "ui/font.h"
#include "ui/price_text.h"
#include "win/fatal_error.h"

bool CSpreadWindow::Create(CBaseWindow& parent, WNDPROC procedure)
{
    hInstance = parent.hInstance;
    if (!LoadStringW(hInstance, IDS_SPREAD_WINDOW_CLASS, className, static_cast<int>(std::size(className))))
        ReportFatalError(L"CSpreadWindow::Create");
    font = CreateArialFont(10, FW_NORMAL);
    windowProc = procedure;
    if (!LoadBackground(IDB_SPREAD))
        ReportFatalError(L"Can't create SpreadWindow BackGroundBrush");
    y = 1;
    x = (parent.width - width) / 2;
    hWndParent = parent.hWnd;
    dwExStyle = 0;
    dwStyle = WS_CHILD | WS_VISIBLE;
    Initialize(hInstance, SW_SHOW);
    return true;
}

void CSpreadWindow::PrintSpread(int digits, double ask, double bid)
{
    DrawBackGroundBrush();
    const SpreadParts spread = SpreadPieces(digits, ask, bid);
    shown_ = spread;
    if (!SetBkMode(memDC, TRANSPARENT) || SetTextColor(memDC, RGB(0, 0, 0)) == CLR_INVALID)
        ReportFatalError(L"CSpreadWindow::PrintSpread");
    win::SelectGuard selected(memDC, font);
    if (!selected.ok())
        ReportFatalError(L"CSpreadWindow::PrintSpread");
    // The point stands centred on its own, the integer part right-aligned left of it, the decimal right
    // of it, so the display stays aligned on the point whatever the integer's width.
    RECT integerRect, pointRect, decimalRect;
    if (!SetRect(&integerRect, 0, 0, width / 2 - 2, height - 1) ||
        !DrawTextW(memDC, spread.integer.c_str(), -1, &integerRect, DT_RIGHT | DT_VCENTER | DT_NOCLIP) ||
        !SetRect(&pointRect, 0, 0, width - 1, height - 1) ||
        !DrawTextW(memDC, L".", -1, &pointRect, DT_CENTER | DT_VCENTER | DT_NOCLIP) ||
        !SetRect(&decimalRect, width / 2 + 2, 0, width - 1, height - 1) ||
        !DrawTextW(memDC, spread.decimal.c_str(), -1, &decimalRect, DT_VCENTER | DT_NOCLIP) ||
        !selected.restore())
        ReportFatalError(L"CSpreadWindow::PrintSpread");
}

void CSpreadWindow::UpdateSpread(int digits, double ask, double bid)
{
    if (shown_ && *shown_ == SpreadPieces(digits, ask, bid))
        return;
    GetMemDC();
    PrintSpread(digits, ask, bid);
    ReleaseMemDC();
}

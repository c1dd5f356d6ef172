#include "ui/spread_window.h"

#include "app/main_window.h"
#include "res/resource.h"
#include "ui/callback_guard.h"
#include "ui/fatal_error.h"
#include "ui/font.h"
#include "ui/price_text.h"

bool CSpreadWindow::Create(CBaseWindow& parent)
{
    hInstance = parent.hInstance;
    if (!LoadStringW(hInstance, IDS_SPREAD_WINDOW_CLASS, className, static_cast<int>(std::size(className))))
        ReportFatalError(L"CSpreadWindow::Create");
    font = CreateArialFont(10, FW_NORMAL);
    windowProc = SpreadWindowProc;
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

void CSpreadWindow::PrintSpread(const SymbolInfo& info)
{
    DrawBackGroundBrush();
    const SpreadParts spread = SpreadPieces(info.Digits, info.Ask, info.Bid);
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

void CSpreadWindow::UpdateSpread(const SymbolInfo& info)
{
    if (shown_ && *shown_ == SpreadPieces(info.Digits, info.Ask, info.Bid))
        return;
    GetMemDC();
    PrintSpread(info);
    ReleaseMemDC();
}

static LRESULT SpreadWindowProcHandled(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        QuitPanel();
        return 0;
    case WM_PAINT: {
        CMainWindow& main = GetMainWindow();
        main.spreadWindow.StartPaint();
        main.spreadWindow.PrintSpread(main.symbolInfo);
        main.spreadWindow.StopPaint();
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK SpreadWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::GuardedWindowMessage(window, message, wParam, lParam,
                                     [&] { return SpreadWindowProcHandled(window, message, wParam, lParam); });
}

#include "app/panel_procedures.h"

#include "app/main_window.h"
#include "app/placement.h"
#include "res/resource.h"
#include "win/fatal_error.h"

namespace {

// Told once the pointer has rested on the button as long as the order path asks, and once it leaves.
void TrackRest(HWND window)
{
    TRACKMOUSEEVENT track = {sizeof track, TME_HOVER | TME_LEAVE, window,
                             static_cast<DWORD>(COrderPath::restBeforeConnecting.count())};
    TrackMouseEvent(&track);
}

}  // namespace

LRESULT CMainWindow::priceButtonMessage(OrderType order, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const SymbolInfo& info = symbolInfo;
    const bool ask = order == Buy;
    CTradeButton& button = ask ? static_cast<CTradeButton&>(buyButton) : sellButton;
    switch (message) {
    case WM_DESTROY:
        QuitPanel();
        return 0;
    case WM_PAINT:
        button.PaintButton(info.Digits, ask ? info.AskUp : info.BidUp, ask ? info.Ask : info.Bid);
        return 0;
    case WM_LBUTTONDOWN:
        // Drawn pressed until the whole command is over: painted while the order is on its way, which the
        // drawing does not hold back.
        button.pressed = true;
        InvalidateRect(window, nullptr, FALSE);
        tradeCommand(order);
        button.pressed = false;
        RefreshPanel();
        // The pointer that stays on the button after the command moves no more: the rest is watched from
        // now on, or the next press would find no connection made ahead.
        if (POINT cursor; GetCursorPos(&cursor) && WindowFromPoint(cursor) == window)
            TrackRest(window);
        return 0;
    case WM_LBUTTONUP:
        button.pressed = false;
        RefreshPanel();
        return 0;
    case WM_MOUSEMOVE:
        TrackRest(window);
        pointerOnTrade();
        return 0;
    case WM_MOUSEHOVER:
        TrackRest(window);  // told again while it stays, so a connection the service closed is made again
        pointerRestsOnTrade();
        return 0;
    case WM_MOUSELEAVE:
        pointerLeftTrade();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT SellButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GetMainWindow().priceButtonMessage(Sell, window, message, wParam, lParam);
}

LRESULT BuyButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GetMainWindow().priceButtonMessage(Buy, window, message, wParam, lParam);
}

LRESULT CMainWindow::spreadWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        QuitPanel();
        return 0;
    case WM_PAINT:
        spreadWindow.StartPaint();
        spreadWindow.PrintSpread(symbolInfo.Digits, symbolInfo.Ask, symbolInfo.Bid);
        spreadWindow.StopPaint();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT SpreadWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GetMainWindow().spreadWindowMessage(window, message, wParam, lParam);
}

LRESULT CMainWindow::labelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        for (CLabel* label : {&slLabel, &tpLabel, &stripLabel}) {
            if (label->hWnd == window) {
                label->DrawLabelName();
                return 0;
            }
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT LabelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GetMainWindow().labelMessage(window, message, wParam, lParam);
}

LRESULT CMainWindow::clientAreaMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        QuitPanel();
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_CLOSE_ALL_BUTTON) {
        // Sent straight to the panel while a command runs (an automation client does) or a fatal report is
        // up: a Close All dialog inside that wait could never be closed, its every button refused.
        if (tradeCommandRunning || FatalReportShowing()) {
            refusePress();
            return 0;
        }
        showDialog(IDD_CLOSE_ALL, window, CloseAllDialogProc);
        return 0;
    }
    // The combo boxes' and fields' notifications need nothing.
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT ClientAreaMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GetMainWindow().clientAreaMessage(window, message, wParam, lParam);
}

void CMainWindow::moveToOriginPos(HWND pinButton)
{
    if (!IsWindow(GetParent(pinButton)))
        return;
    if (!overlay.active()) {
        MovePanelBetweenChartAndTop(pinButton, hWndChart, terminalProcess, {x, y});
        return;
    }
    // The stand-in child moves between the same two windows, to the same places.
    const HWND terminal = overlay.terminal();
    if (overlay.anchor() != terminal)
        overlay.MoveInto(terminal, {x, y});
    else if (ChartStillThere(hWndChart, terminalProcess))
        overlay.MoveInto(hWndChart, {6, 20});
}

void MoveToOriginPos(HWND pinButton)
{
    GetMainWindow().moveToOriginPos(pinButton);
}

LRESULT PinButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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

INT_PTR CALLBACK CloseAllDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return win::Guarded([&] { return GetMainWindow().closeAllDialogMessage(dialog, message, wParam); },
                        [] { return INT_PTR(FALSE); });
}

INT_PTR CALLBACK ExecutingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return win::Guarded([&] { return GetMainWindow().executingDialogMessage(dialog, message, wParam); },
                        [] { return INT_PTR(FALSE); });
}

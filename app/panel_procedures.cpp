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

// The common part of both procedures.
LRESULT TradeButtonMessage(CTradeButton& button, OrderType order, HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam)
{
    CMainWindow& main = GetMainWindow();
    const SymbolInfo& info = main.symbolInfo;
    const bool ask = order == Buy;
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
        main.tradeCommand(order);
        button.pressed = false;
        main.RefreshPanel();
        // The pointer that stays on the button after the command moves no more: the rest is watched from
        // now on, or the next press would find no connection made ahead.
        if (POINT cursor; GetCursorPos(&cursor) && WindowFromPoint(cursor) == window)
            TrackRest(window);
        return 0;
    case WM_LBUTTONUP:
        button.pressed = false;
        main.RefreshPanel();
        return 0;
    case WM_MOUSEMOVE:
        TrackRest(window);
        main.pointerOnTrade();
        return 0;
    case WM_MOUSEHOVER:
        TrackRest(window);  // told again while it stays, so a connection the service closed is made again
        main.pointerRestsOnTrade();
        return 0;
    case WM_MOUSELEAVE:
        main.pointerLeftTrade();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}


// The pin returns the panel only into the chart it came from: a closed chart's handle value can come back
// as an unrelated window.
bool ChartStillThere(const CMainWindow& main)
{
    DWORD owner = 0;
    return GetWindowThreadProcessId(main.hWndChart, &owner) && owner == main.terminalProcess;
}

}  // namespace

LRESULT SellButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return TradeButtonMessage(GetMainWindow().sellButton, Sell, window, message, wParam, lParam);
}

LRESULT BuyButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return TradeButtonMessage(GetMainWindow().buyButton, Buy, window, message, wParam, lParam);
}

LRESULT SpreadWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        QuitPanel();
        return 0;
    case WM_PAINT: {
        CMainWindow& main = GetMainWindow();
        main.spreadWindow.StartPaint();
        main.spreadWindow.PrintSpread(main.symbolInfo.Digits, main.symbolInfo.Ask, main.symbolInfo.Bid);
        main.spreadWindow.StopPaint();
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT LabelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        CMainWindow& main = GetMainWindow();
        for (CLabel* label : {&main.slLabel, &main.tpLabel, &main.stripLabel}) {
            if (label->hWnd == window) {
                label->DrawLabelName();
                return 0;
            }
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT ClientAreaMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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


#include "app/panel_procedures.h"

#include "app/main_window.h"
#include "res/resource.h"
#include "win/callback_guard.h"
#include "win/fatal_error.h"

namespace {

// How long the pointer rests on BUY or SELL before the panel connects to the service ahead of a press:
// a hand on its way elsewhere passes in less.
constexpr DWORD pointerRestMs = 150;

// Told once the pointer has rested on the button that long, and once it leaves.
void TrackRest(HWND window)
{
    TRACKMOUSEEVENT track = {sizeof track, TME_HOVER | TME_LEAVE, window, pointerRestMs};
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

}  // namespace

LRESULT CALLBACK SellButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::GuardedWindowMessage(window, message, wParam, lParam, [&] {
        return TradeButtonMessage(GetMainWindow().sellButton, Sell, window, message, wParam, lParam);
    });
}

LRESULT CALLBACK BuyButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::GuardedWindowMessage(window, message, wParam, lParam, [&] {
        return TradeButtonMessage(GetMainWindow().buyButton, Buy, window, message, wParam, lParam);
    });
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
        main.spreadWindow.PrintSpread(main.symbolInfo.Digits, main.symbolInfo.Ask, main.symbolInfo.Bid);
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

static LRESULT LabelProcHandled(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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

LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return win::GuardedWindowMessage(window, message, wParam, lParam,
                                     [&] { return LabelProcHandled(window, message, wParam, lParam); });
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

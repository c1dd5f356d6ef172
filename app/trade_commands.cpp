// The trader's commands: BUY and SELL presses and the Close All dialogs become trade commands, each an
// order, the Executing dialog until the expert has done it, and the closing Finish order.
#include "app/main_window.h"
#include "res/resource.h"

namespace {

constexpr UINT_PTR executingTimer = 0;
constexpr UINT executingIntervalMs = 500;

}  // namespace

void CMainWindow::tradeCommand(OrderType type)
{
    // One command at a time: a click in a dialog that stays enabled meanwhile must not order twice.
    if (tradeCommandRunning)
        return;
    tradeCommandRunning = true;
    placeOrder(type);
    DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_EXECUTING), hWnd, ExecutingDialogProc, 0);
    placeOrder(Finish);
    tradeCommandRunning = false;
}

std::wstring CMainWindow::executingText() const
{
    static const wchar_t* const dots[] = {L"", L".", L".  .", L".  .  ."};
    return std::wstring(L"Executing  ") + dots[executingStep >= 0 && executingStep <= 3 ? executingStep : 0];
}

INT_PTR CALLBACK CloseAllDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    CMainWindow& main = GetMainWindow();
    switch (message) {
    case WM_INITDIALOG:
        // The confirmation dialog has no such button; the call then changes nothing.
        SetDlgItemTextW(dialog, IDC_CLOSE_SYMBOL_DEALS, (L"Close All (" + main.symbolInfo.Name + L")").c_str());
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_CLOSE_SYMBOL_DEALS:
            main.tradeCommand(CloseSymbolDeals);
            EndDialog(dialog, IDC_CLOSE_SYMBOL_DEALS);
            return TRUE;
        case IDC_CLOSE_ALL_DEALS:
            EndDialog(dialog, IDC_CLOSE_ALL_DEALS);
            DialogBoxParamW(main.hInstance, MAKEINTRESOURCEW(IDD_CONFIRM_CLOSE_ALL), main.hWnd, CloseAllDialogProc, 0);
            return TRUE;
        case IDC_CONFIRM_CLOSE_ALL:
            main.tradeCommand(CloseAllDeals);
            EndDialog(dialog, IDC_CONFIRM_CLOSE_ALL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ExecutingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    CMainWindow& main = GetMainWindow();
    switch (message) {
    case WM_INITDIALOG:
        main.executingStep = 0;
        SetDlgItemTextW(dialog, IDC_PROGRESS_LINE, main.executingText().c_str());
        SetTimer(dialog, executingTimer, executingIntervalMs, nullptr);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_TIMER:
        // Completion is looked at only here, so the dialog stays at least one interval.
        main.executingStep = main.executingStep + 1 > 3 ? 0 : main.executingStep + 1;
        SetDlgItemTextW(dialog, IDC_PROGRESS_LINE, main.executingText().c_str());
        SetDlgItemTextW(dialog, IDC_ERROR_LINE, main.errorDescription().c_str());
        if (main.orderCompleted())
            EndDialog(dialog, executingTimer);
        return TRUE;
    default:
        return FALSE;
    }
}

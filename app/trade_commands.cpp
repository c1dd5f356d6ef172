// The trader's commands: BUY and SELL presses and the Close All dialogs become trade commands, each an
// order, the Executing dialog until the expert has done it, and the closing Finish order.
#include "app/input_freeze.h"
#include "app/main_window.h"
#include "res/resource.h"

namespace {

constexpr UINT executingIntervalMs = 500;

}  // namespace

void CMainWindow::tradeCommand(OrderType type)
{
    // The press found the chart gone (its refresh took the panel with the chart): no chart, no order.
    if (!IsWindow(hWnd))
        return;
    // One command at a time.
    if (tradeCommandRunning) {
        refusePress();
        return;
    }
    tradeCommandRunning = true;
    {
        const InputFreeze freeze(hWnd);
        // Read once: the Finish goes out with the order's values, even when the chart has meanwhile taken
        // the controls with it.
        const std::optional<OrderFields> fields = readOrderControls();
        placeOrder(type, fields);
        // What the trader did while the exchange held the panel is not meant for the Executing dialog.
        DiscardInput();
        showDialog(IDD_EXECUTING, hWnd, ExecutingDialogProc);
        executingDialog = nullptr;
        placeOrder(Finish, fields);
    }
    tradeCommandRunning = false;
    // The command's own connections came and went: the next press should find the row proven again.
    lookUpBrokerRowAhead();
}

void CMainWindow::refusePress()
{
    // With the panel frozen only a message sent straight to a control gets here: the trader is shown that
    // it was not taken, as for a click on a window under a modal dialog.
    const HWND topLevel = overlay.active() ? overlay.terminal() : GetAncestor(hWnd, GA_ROOT);
    FLASHWINFO flash = {sizeof flash, executingDialog ? executingDialog : topLevel, FLASHW_ALL, 3, 0};
    FlashWindowEx(&flash);
    MessageBeep(MB_ICONWARNING);
}

INT_PTR CMainWindow::showDialog(WORD dialogId, HWND owner, DLGPROC procedure)
{
    // A child's dialog disables the terminal's top-level window by itself; the stand-in does it here.
    const TerminalDisabled terminal(overlay);
    const INT_PTR result = DialogBoxParamW(hInstance, MAKEINTRESOURCEW(dialogId), owner, procedure, 0);
    // The chart's closing reached the panel's windows while the dialog was up: the dialog's loop took the
    // quit meant for the panel's own loop, which would otherwise wait for ever.
    if (PanelQuitting())
        QuitPanel();
    return result;
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
        // The dialog waits for its command: nothing it is sent meanwhile ends it or starts another one.
        if (main.tradeCommandRunning) {
            main.refusePress();
            return TRUE;
        }
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
            main.showDialog(IDD_CONFIRM_CLOSE_ALL, main.hWnd, CloseAllDialogProc);
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
        main.executingDialog = dialog;
        main.executingStep = 0;
        SetDlgItemTextW(dialog, IDC_PROGRESS_LINE, main.executingText().c_str());
        SetTimer(dialog, executingTimer, executingIntervalMs, nullptr);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_TIMER: {
        // Completion is looked at only here, so the dialog stays at least one interval.
        main.executingStep = main.executingStep + 1 > 3 ? 0 : main.executingStep + 1;
        SetDlgItemTextW(dialog, IDC_PROGRESS_LINE, main.executingText().c_str());
        // Done first: the expert writes the mark and its error text in one rewrite, so the text read after
        // the mark is the one that came with it.
        const bool completed = main.orderCompleted();
        const std::wstring error = main.errorDescription();
        SetDlgItemTextW(dialog, IDC_ERROR_LINE, error.c_str());
        if (completed && error.empty())
            EndDialog(dialog, executingTimer);
        else if (completed)
            KillTimer(dialog, executingTimer);  // refused: the trader reads why and closes the dialog
        return TRUE;
    }
    default:
        return FALSE;
    }
}

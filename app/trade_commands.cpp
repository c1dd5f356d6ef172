// The trader's commands: BUY and SELL presses and the Close All dialogs become trade commands, each an
// order, the Executing dialog until the expert has done it, and the closing Finish order.
#include <new>

#include "app/exchange_thread.h"
#include "app/input_freeze.h"
#include "app/main_window.h"
#include "app/panel_procedures.h"
#include "exchange/order_document.h"
#include "exchange/shared_text.h"
#include "res/resource.h"
#include "service/reply_decoding.h"
#include "win/fatal_error.h"

namespace {

constexpr UINT executingIntervalMs = 500;

// The command's flag goes down however the command ends: one left up would refuse every later press.
class CommandRunning {
public:
    explicit CommandRunning(bool& running) : running_(running) { running_ = true; }
    CommandRunning(const CommandRunning&) = delete;
    CommandRunning& operator=(const CommandRunning&) = delete;
    ~CommandRunning() { running_ = false; }

private:
    bool& running_;
};

}  // namespace

void CMainWindow::tradeCommand(OrderType type)
{
    // The press found the chart gone (its refresh took the panel with the chart): no chart, no order.
    if (!IsWindow(hWnd))
        return;
    // One command at a time, and none behind a fatal report.
    if (tradeCommandRunning || FatalReportShowing()) {
        refusePress();
        return;
    }
    // Each step below holds whatever the one before it met: nothing it calls throws past it, and the
    // procedures of the dialogs and windows it runs catch what their handlers throw.
    const CommandRunning running(tradeCommandRunning);
    {
        const InputFreeze freeze(hWnd);
        // Read once: the Finish goes out with the order's values, even when the chart has meanwhile taken
        // the controls with it.
        const std::optional<OrderFields> fields = readOrderControls();
        journal.Note([&] {
            return std::string("press ") + OrderTypeName(type) + " symbol=" + JournalText(symbolInfo.Name, 32) +
                   (fields ? " volume=" + JournalText(fields->volume, 32) + " sl=" + JournalText(fields->stopLoss, 32) +
                                 " tp=" + JournalText(fields->takeProfit, 32) +
                                 " sltp=" + JournalText(fields->setSlTpOnMarket, 4)
                           : std::string(" values=none"));
        });
        placeOrder(type, fields);
        // What the trader did while the exchange held the panel is not meant for the Executing dialog.
        DiscardInput();
        // The dialog's result cannot tell: ended as done it is the timer's id, 0, as is a dialog destroyed
        // with the chart. The dialog says how it ended.
        executingEnd = ExecutingEnd::none;
        if (showDialog(IDD_EXECUTING, hWnd, ExecutingDialogProc) == -1 && IsWindow(hWnd))
            executingEnd = ExecutingEnd::notShown;
        executingDialog = nullptr;
        journal.Note([&] {
            const std::wstring error = errorDescription();
            const std::string expert = std::string("expert ") + OrderTypeName(type);
            if (executingEnd == ExecutingEnd::done)
                return expert + " done";
            if (orderCompleted() && !error.empty())
                return expert + " error=" + JournalText(error);
            if (executingEnd == ExecutingEnd::notShown)
                return expert + " not waited for: the Executing dialog could not be shown";
            return expert + (executingEnd == ExecutingEnd::cancelled ? " cancelled by the trader"
                                                                     : " unanswered: the chart closed");
        });
        placeOrder(Finish, fields);
    }
}

std::optional<OrderFields> CMainWindow::readOrderControls()
{
    try {
        OrderFields fields;
        const bool checked = (SendMessageW(sltpCheckBox.hWnd, BM_GETSTATE, 0, 0) & BST_CHECKED) != 0;
        fields.setSlTpOnMarket = checked ? L"1" : L"0";
        fields.takeProfit = tpCombo.GetText();
        fields.stopLoss = slCombo.GetText();
        fields.volume = volumeCombo.GetText();
        return fields;
    } catch (...) {
        return std::nullopt;  // no values: no order, and the Finish says so
    }
}

void CMainWindow::placeOrder(OrderType type, const std::optional<OrderFields>& fields)
{
    std::wstring command;
    bool written = false;
    // Once the exchange has ended, also when a fatal report comes meanwhile: the service may have taken
    // the order already, and the expert must get what it answered.
    const auto handOn = [this, type, &command, &written] {
        written = true;
        try {
            // A reply the gate refuses gives the expert nothing; the service answered, so the order is not
            // sent again.
            const HandedCommand handed = GateReply(std::move(command));
            journal.Note([&] { return std::string("command ") + OrderTypeName(type) + " " + handed.fact; });
            // Converted before the area is touched, so a lack of memory cannot leave it half written.
            if (WriteSharedText(orderDocumentName(), handed.text))
                return;
        } catch (const std::bad_alloc&) {
        }
        // A failed exchange leaves an empty document: the expert finds no command. The empty text needs no
        // memory.
        WriteSharedText(orderDocumentName(), std::wstring());
    };
    try {
        if (fields) {
            // The company as the refresh last read it; the refresh goes on meanwhile and may change it.
            const OrderCommand order{type, *fields, symbolInfo.Company};
            RunBesideWindowThread([&] { command = orderPath.orderWithRetry(order); }, handOn);
        }
    } catch (...) {
        // Out of memory before the exchange, or a handler's failure passed on after it: handed on below
        // unless it was already.
    }
    // Written once: a second writing of the same command could have the expert execute it twice.
    if (!written)
        handOn();
}

bool CMainWindow::workAheadAllowed() const
{
    // The pointer's moves are input: during a command, or behind a fatal report, nothing starts ahead of a
    // press that cannot come.
    return !tradeCommandRunning && !FatalReportShowing();
}

void CMainWindow::pointerOnTrade()
{
    if (workAheadAllowed())
        orderPath.pointerReachedTrade();
}

void CMainWindow::pointerRestsOnTrade()
{
    if (workAheadAllowed())
        orderPath.pointerRestsOnTrade();
}

void CMainWindow::pointerLeftTrade()
{
    if (workAheadAllowed())
        orderPath.pointerLeftTrade();
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

INT_PTR CMainWindow::showDialog(WORD dialogId, HWND owner, DLGPROC procedure) noexcept
{
    // A child's dialog disables the terminal's top-level window by itself; the stand-in does it here.
    const TerminalDisabled terminal(overlay);
    ++dialogsOpen;
    const INT_PTR result = DialogBoxParamW(hInstance, MAKEINTRESOURCEW(dialogId), owner, procedure, 0);
    --dialogsOpen;
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

INT_PTR CMainWindow::closeAllDialogMessage(HWND dialog, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_INITDIALOG:
        // The confirmation dialog has no such button; the call then changes nothing.
        SetDlgItemTextW(dialog, IDC_CLOSE_SYMBOL_DEALS, (L"Close All (" + symbolInfo.Name + L")").c_str());
        return TRUE;
    case WM_COMMAND:
        // The dialog waits for its command: nothing it is sent meanwhile ends it or starts another one.
        if (tradeCommandRunning) {
            refusePress();
            return TRUE;
        }
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_CLOSE_SYMBOL_DEALS:
            tradeCommand(CloseSymbolDeals);
            EndDialog(dialog, IDC_CLOSE_SYMBOL_DEALS);
            return TRUE;
        case IDC_CLOSE_ALL_DEALS:
            EndDialog(dialog, IDC_CLOSE_ALL_DEALS);
            showDialog(IDD_CONFIRM_CLOSE_ALL, hWnd, CloseAllDialogProc);
            return TRUE;
        case IDC_CONFIRM_CLOSE_ALL:
            tradeCommand(CloseAllDeals);
            EndDialog(dialog, IDC_CONFIRM_CLOSE_ALL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

INT_PTR CMainWindow::executingDialogMessage(HWND dialog, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_INITDIALOG:
        // The poll first: whatever fails after it, the dialog still ends when the expert is done.
        executingDialog = dialog;
        executingStep = 0;
        SetTimer(dialog, executingTimer, executingIntervalMs, nullptr);
        SetDlgItemTextW(dialog, IDC_PROGRESS_LINE, executingText().c_str());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        executingEnd = ExecutingEnd::cancelled;
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_TIMER: {
        // Completion is looked at only here, so the dialog stays at least one interval.
        executingStep = executingStep + 1 > 3 ? 0 : executingStep + 1;
        SetDlgItemTextW(dialog, IDC_PROGRESS_LINE, executingText().c_str());
        // Done first: the expert writes the mark and its error text in one rewrite, so the text read after
        // the mark is the one that came with it.
        const bool completed = orderCompleted();
        const std::wstring error = errorDescription();
        SetDlgItemTextW(dialog, IDC_ERROR_LINE, error.c_str());
        if (completed && error.empty()) {
            executingEnd = ExecutingEnd::done;
            EndDialog(dialog, executingTimer);
        }
        else if (completed)
            KillTimer(dialog, executingTimer);  // refused: the trader reads why and closes the dialog
        return TRUE;
    }
    default:
        return FALSE;
    }
}


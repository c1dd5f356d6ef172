// The panel's controller and main window: attachment to the chart window, the children, the refresh cycle.
// Only app/ sees it; the entry and the programs that drive the panel in their own process use panel.h.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <optional>
#include <string>

#include "app/chart_overlay.h"
#include "app/journal.h"
#include "app/panel.h"
#include "app/placement.h"
#include "exchange/symbol_info.h"
#include "service/order_path.h"
#include "ui/base_window.h"
#include "ui/buttons.h"
#include "ui/client_area.h"
#include "ui/combo_box.h"
#include "ui/label.h"
#include "ui/spread_window.h"
#include "ui/trade_button.h"
#include "win/callback_guard.h"

// The timers: the 100 ms refresh on the main window (the order path's clock too), and the 500 ms poll on
// the Executing dialog.
constexpr UINT_PTR refreshTimer = 0;
constexpr UINT_PTR executingTimer = 0;
// Posted to the panel to end a refused activation: it may be activated again (by a click).
constexpr UINT activatableAgainMessage = WM_APP + 1;

// Reached by every window, dialog and timer procedure through GetMainWindow; its state is its own, and
// the procedures hand it their messages. It is a window of its own, but no one else draws on it.
class CMainWindow : private CBaseWindow {
public:
    // Prepares the main window's class data and creates it through Initialize.
    bool Create(HINSTANCE instance, int showCommand);

    // One refresh of everything that shows market data; runs every 100 ms. Nothing once the window is gone.
    void RefreshPanel();
    // The 100 ms timer: the order path's clock, then the refresh.
    void clockTick();
    // Before a fatal error's report: the timers stopped, the panel's windows taking no input.
    void stopForFatalError();
    // The journal's last line: the exit code, and whether a fatal error ended the panel.
    void noteEnd(unsigned long exitCode, bool afterFatalError);
    // While a modal dialog of the terminal's own has disabled its window, a child of it takes no input:
    // neither does the panel standing in for one.
    bool terminalBusy() const;
    HWND window() const { return hWnd; }

    // A trade command: the order, the Executing dialog until the expert is done or the trader cancels,
    // then the Finish order. Refused while another one runs.
    void tradeCommand(OrderType type);
    bool commandRunning() const { return tradeCommandRunning; }

    // The messages of the panel's windows and dialogs, each class's from its procedure.
    LRESULT mainWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT priceButtonMessage(OrderType side, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT spreadWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT labelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT clientAreaMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR closeAllDialogMessage(HWND dialog, UINT message, WPARAM wParam);
    INT_PTR executingDialogMessage(HWND dialog, UINT message, WPARAM wParam);
    // The pin button's click: out of the chart into the terminal's top-level window at the panel's origin
    // position, or back into the chart at (6, 20).
    void moveToOriginPos(HWND pinButton);

private:
    // Attaches to the chart window named on the command line, creates the window and starts the timer.
    bool InitInstance() override;
    // The 17 children, in their fixed order, each placed by the sizes of those made before it.
    void CreateChildren();
    // Draws the main window (background and symbol name) into the open memory bitmap.
    void PrintSymbolLabel();

    // The order controls' values; nothing when there is no memory to read them.
    std::optional<OrderFields> readOrderControls();
    // One order: the controls' values and the company to the order path, its decoded reply to the expert
    // (an empty document when the exchange failed, there were no values, or the reply is no plain element
    // tree). The exchange runs on a thread of its own while this one keeps its messages.
    void placeOrder(OrderType type, const std::optional<OrderFields>& fields);
    // Shows the trader that a press reaching a running command was not taken.
    void refusePress();
    // The pointer is on BUY or SELL: the terminal's identity is kept fresh for a press. It rests there: the
    // order path connects ahead of the press too. It has left them: the connection goes a few seconds
    // later, unless the pointer comes back. None of it during a command or behind a fatal report.
    void pointerOnTrade();
    void pointerRestsOnTrade();
    void pointerLeftTrade();
    bool workAheadAllowed() const;
    // One of the panel's dialogs, modal to the terminal as a child's dialog is.
    INT_PTR showDialog(WORD dialogId, HWND owner, DLGPROC procedure) noexcept;
    // The Executing dialog's progress line for executingStep.
    std::wstring executingText() const;

    CCloseButton closeButton;
    CPinButton pinButton;
    CClientArea clientArea;  // parent of every control below the title strip
    CSpreadWindow spreadWindow;
    CComboBox volumeCombo;
    CLabel slLabel;
    CComboBox slCombo;
    CLabel tpLabel;
    CComboBox tpCombo;
    CCheckBox sltpCheckBox;
    CLabelButton volumeField;
    CLabelButton breakEvenField;
    CLabelButton profitField;
    CCloseAll closeAllButton;
    CLabel stripLabel;
    HWND hWndChart = nullptr;  // the number read from the command line, whether or not it names a window
    DWORD terminalProcess = 0;  // the chart's process when the panel attached to it; kept once the chart is gone
    ChartOverlay overlay;  // active where the panel stands in for the chart's child
    SymbolInfo symbolInfo;
    std::wstring symbolText;  // the document's text as last parsed
    std::optional<std::wstring> shownName;  // the name the main window shows
    static constexpr int ticksBetweenWholeDrawings = 5;
    int ticksSinceWholeDrawing = 0;

    // What the panel sent and what came back, for the trader and the broker; before the order path, which
    // writes into it.
    Journal journal;
    // Endpoints, identity, call and decoding: used by this thread, the exchange's and the look-ahead's.
    COrderPath orderPath;

    int executingStep = 0;  // progress step of the Executing dialog
    HWND executingDialog = nullptr;  // while it is open
    // How the Executing dialog ended: none when it was destroyed with the chart, as no one ended it.
    enum class ExecutingEnd { none, done, cancelled, notShown } executingEnd = ExecutingEnd::none;
    int dialogsOpen = 0;  // the panel's own dialogs up now, each disabling the terminal's top-level window
    bool tradeCommandRunning = false;

    CSellButton sellButton;
    CBuyButton buyButton;
};

// The one controller object; ends the process when there is none.
CMainWindow& GetMainWindow();

LRESULT MainWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline constexpr WNDPROC MainWindowProc = win::GuardedProcedure<MainWindowMessage>;
void CALLBACK MainTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

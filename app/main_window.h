// The panel's controller and main window: attachment to the chart window, the children, the refresh cycle.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <array>
#include <mutex>
#include <optional>
#include <string>

#include "app/chart_overlay.h"
#include "app/placement.h"
#include "exchange/symbol_info.h"
#include "service/identity_hash.h"
#include "service/order_exchange.h"
#include "ui/base_window.h"
#include "ui/buttons.h"
#include "ui/client_area.h"
#include "ui/combo_box.h"
#include "ui/label.h"
#include "ui/spread_window.h"
#include "ui/trade_button.h"

// The timers: the 100 ms refresh on the main window, the 500 ms poll on the Executing dialog.
constexpr UINT_PTR refreshTimer = 0;
constexpr UINT_PTR executingTimer = 0;

class CMainWindow : public CBaseWindow {
public:
    // The default service endpoints are set from the start.
    CMainWindow();

    // Prepares the main window's class data and creates it through Initialize.
    bool Create(HINSTANCE instance, int showCommand);
    // Attaches to the chart window named on the command line, creates the window and starts the timer.
    bool InitInstance() override;

    // One refresh of everything that shows market data; runs every 100 ms. Nothing once the window is gone.
    void RefreshPanel();
    // Before a fatal error's report: the timers stopped, the panel's windows taking no input.
    void stopForFatalError();
    // Draws the main window (background and symbol name) into the open memory bitmap.
    void PrintSymbolLabel();

    // The order command document: done when the expert has marked it so; the text for the Executing
    // dialog's second line.
    bool orderCompleted();
    std::wstring errorDescription();

    // The service endpoints: both marked alive again; the alive ones' names looked up and the fastest to
    // answer the echo chosen (the first alive one when none answers); the round trip of one at the address
    // the selection found, in milliseconds (-1: no answer); the chosen one's address.
    void setDefaultServers();
    void selectServer();
    int serverPing(int index);
    std::wstring currentServer();

    // The terminal's identity: the remote address of the first connection of the terminal's process as
    // found at attach, and a digest text.
    std::wstring brokerAddress();
    // Looks the broker row up (or revalidates it) on a thread of its own, so that the next press finds it.
    void lookUpBrokerRowAhead();
    static std::wstring HASH(const std::wstring& text, ALG_ID algorithm);
    // The service's hexadecimal reply decoded under the key of the key source text's identity hash.
    std::wstring Decrypt(const std::wstring& hex, const std::wstring& keySource);

    // The order controls' values; nothing when there is no memory to read them.
    std::optional<OrderFields> readOrderControls();
    // One order: the controls' values to the service, its decoded reply to the expert (an empty document
    // when the exchange failed or there were no values). The exchange runs on a thread of its own while
    // this one keeps its messages; the attempts use only the values handed to them and the endpoint state.
    void placeOrder(OrderType type, const std::optional<OrderFields>& fields);
    std::wstring orderWithRetry(OrderType type, const std::wstring& volume, const std::wstring& stopLoss,
                                const std::wstring& takeProfit, const std::wstring& setSlTpOnMarket);
    bool callOrderComp(OrderType type, const std::wstring& volume, const std::wstring& stopLoss,
                       const std::wstring& takeProfit, const std::wstring& setSlTpOnMarket, std::wstring& command);

    // A trade command: the order, the Executing dialog until the expert is done or the trader cancels,
    // then the Finish order. Refused while another one runs.
    void tradeCommand(OrderType type);
    // Shows the trader that a press reaching a running command was not taken.
    void refusePress();
    // One of the panel's dialogs, modal to the terminal as a child's dialog is.
    INT_PTR showDialog(WORD dialogId, HWND owner, DLGPROC procedure);
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
    // The terminal's broker row as last looked up, revalidated at each use; filled in the background at
    // attach. Used by the exchange's thread too.
    std::mutex brokerRowMutex;
    std::optional<BrokerRowFound> brokerRow;
    ChartOverlay overlay;  // active where the panel stands in for the chart's child
    SymbolInfo symbolInfo;
    std::wstring symbolText;  // the document's text as last parsed
    std::optional<std::wstring> shownName;  // the name the main window shows
    static constexpr int ticksBetweenWholeDrawings = 5;
    int ticksSinceWholeDrawing = 0;

    std::wstring orderCompany;  // the company of the order on the wire
    int selectedServer = -1;  // -1: none
    std::array<std::wstring, 2> serverUrls;  // primary, secondary
    std::array<unsigned char, 2> serverAlive = {1, 1};  // 0 after a failed call
    std::array<int, 2> serverRoundTrips = {-1, -1};  // of the last selection; -1: no answer or not asked
    // The hosts' IPv4 addresses as the last selection found them, echoed and called: 0 for "localhost",
    // INADDR_NONE when not found.
    std::array<ULONG, 2> serverAddresses = {INADDR_NONE, INADDR_NONE};

    int executingStep = 0;  // progress step of the Executing dialog
    HWND executingDialog = nullptr;  // while it is open
    bool tradeCommandRunning = false;

    CSellButton sellButton;
    CBuyButton buyButton;

private:
    // The 17 children, in their fixed order, each placed by the sizes of those made before it.
    void CreateChildren();
};

// The "BE:" field's value: "N/A" for a break-even price of 0, otherwise the price with Digits decimals.
std::wstring FormatBreakEven(const SymbolInfo& info);

// Makes the one controller object; false when it cannot be made.
bool MakeMainWindow();
// The one controller object; ends the process when there is none.
CMainWindow& GetMainWindow();

INT_PTR CALLBACK CloseAllDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ExecutingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void CALLBACK MainTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

#include "app/main_window.h"
#include "app/exchange_thread.h"

#include <cwchar>
#include <new>
#include <string>
#include <system_error>

#include "app/input_freeze.h"
#include "app/panel_procedures.h"
#include "app/placement.h"
#include "panel_version.h"
#include "res/resource.h"
#include "ui/font.h"
#include "ui/price_text.h"
#include "win/callback_guard.h"
#include "win/fatal_error.h"

namespace {

CMainWindow* mainWindow = nullptr;

constexpr COLORREF panelBackground = RGB(226, 225, 225);
constexpr int panelX = 6;  // in the client area of the chart's parent
constexpr int panelY = 20;
constexpr int panelWidth = 158;
constexpr int panelHeight = 189;
constexpr DWORD childStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
// On its own the panel clips its children too: its 100 ms redraw of the whole window must not paint
// over the controls that are not redrawn with it.
constexpr DWORD standaloneStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
// Standing in for the child under wine: the child's look, as a pop-up owned by the terminal. The system
// menu (never drawn without a caption) makes wine hand the window to the desktop's window manager, which
// keeps it with the terminal's window: other programs' windows activated over the terminal cover it too.
constexpr DWORD overlayStyle = WS_POPUP | WS_SYSMENU | WS_CLIPCHILDREN;

}  // namespace

bool MakeMainWindow()
{
    mainWindow = new (std::nothrow) CMainWindow;
    SetFatalErrorStop([] {
        if (mainWindow)
            mainWindow->stopForFatalError();
    });
    SetFatalErrorLastWords([](unsigned long exitCode) {
        if (mainWindow)
            mainWindow->noteEnd(exitCode, true);
    });
    return mainWindow != nullptr;
}

void CMainWindow::stopForFatalError()
{
    // Behind the report no tick redraws, no Executing dialog polls, and no press places an order.
    KillTimer(hWnd, refreshTimer);
    if (executingDialog)
        KillTimer(executingDialog, executingTimer);
    DisableInput(hWnd);
    overlay.Stop();
    // A dialog of the child disabled the terminal's top-level window; the report ends the process, and the
    // dialog would never enable it again: the terminal would take no input for good.
    if (dialogsOpen > 0 && !overlay.active()) {
        const HWND topLevel = GetAncestor(hWnd, GA_ROOT);
        if (topLevel && topLevel != hWnd)
            EnableWindow(topLevel, TRUE);
    }
}

CMainWindow& GetMainWindow()
{
    if (!mainWindow)
        ReportFatalError(L"Can't Get Main Window");
    return *mainWindow;
}

void CMainWindow::noteEnd(unsigned long exitCode, bool afterFatalError)
{
    journal.Note([&] { return "end exit=" + std::to_string(exitCode) + (afterFatalError ? " after a fatal error" : ""); });
}

bool CMainWindow::terminalBusy() const
{
    return overlay.TerminalBusy();
}

bool CMainWindow::Create(HINSTANCE instance, int showCommand)
{
    hInstance = instance;
    if (!LoadStringW(hInstance, IDS_PANEL_CLASS, className, static_cast<int>(std::size(className))))
        ReportFatalError(L"CMainWindow::Create");
    font = CreateArialFont(15, FW_NORMAL);
    if (!font)
        ReportFatalError(L"CMainWindow::Create");
    windowProc = MainWindowProc;
    backgroundBrush = CreateSolidBrush(panelBackground);
    if (!backgroundBrush)
        ReportFatalError(L"CMainWindow::Create");
    orderPath.setJournal([this](const std::string& event) { journal.Write(event); });
    // The echoes (a second at most) before any window exists.
    orderPath.selectServer();
    orderPath.prepareTls();
    KeepCryptoProvidersLoaded();
    PrepareExchangeThread();
    Initialize(instance, showCommand);
    journal.Note([this] {
        return std::string("start version=") + PANEL_VERSION_TEXT + " commit=" +
               std::string(PANEL_COMMIT_TEXT).substr(0, 12) +
               " chart=" + std::to_string(reinterpret_cast<LONG_PTR>(hWndChart)) +
               " symbol=" + JournalText(symbolInfo.Name, 32);
    });
    return true;
}

bool CMainWindow::InitInstance()
{
    // The expert writes the chart handle's decimal text as the whole command line; nothing is skipped
    // before the number, and a number out of range saturates.
    const wchar_t* commandLine = GetCommandLineW();
    hWndChart = reinterpret_cast<HWND>(static_cast<LONG_PTR>(std::wcstol(commandLine, nullptr, 10)));

    dwStyle = standaloneStyle;
    hWndParent = nullptr;
    bool standIn = false;
    x = panelX;
    y = panelY;
    width = panelWidth;
    height = panelHeight;

    if (IsWindow(hWndChart)) {
        GetWindowThreadProcessId(hWndChart, &terminalProcess);
        orderPath.attachTerminal(terminalProcess);
        // The first look-up reads the table with owners, which beside other programs' connections costs
        // wine a second or more: it starts before the windows are made, on a thread of its own.
        orderPath.keepIdentityFresh();
        dwExStyle = WS_EX_DLGMODALFRAME;
        dwStyle = childStyle;

        // The chart must not paint over the panel; it keeps the bit after the panel has gone. A previous
        // style of 0 is a success too, told apart by the untouched last error.
        const LONG chartStyle = GetWindowLongW(hWndChart, GWL_STYLE);
        SetLastError(0);
        if (!SetWindowLongW(hWndChart, GWL_STYLE, chartStyle | WS_CLIPCHILDREN) && GetLastError() != 0)
            ReportFatalError(L"Cant change Chart window style");
        ResetWindowPos(hWndChart);
        hWndParent = hWndChart;

        // (6, 20) of the chart's parent's client area, whatever the chart's own offset inside it; a
        // top-level chart has no such parent, and the panel then sits at (6, 20) of the chart itself.
        if (const HWND chartParent = ParentWindow(hWndChart)) {
            POINT origin = {x, y};
            if (!ClientToScreen(chartParent, &origin) || !ScreenToClient(hWndChart, &origin))
                ReportFatalError(L"CMainWindow::InitInstance");
            x = origin.x;
            y = origin.y;
        }
        // Where wine would never draw the child, the panel stands in for it: owned by the terminal's
        // top-level window, shown by the first placement only, so it never takes activation.
        standIn = NeedsChartOverlay(hWndChart);
        if (standIn) {
            dwStyle = overlayStyle;
            hWndParent = GetAncestor(hWndChart, GA_ROOT);
            nCmdShow = SW_HIDE;
        }
    } else {
        dwExStyle = WS_EX_TOOLWINDOW;
        MessageBoxW(nullptr, commandLine, L"Not a window handle", MB_OK);
    }

    CBaseWindow::InitInstance();
    if (standIn) {
        // A child has no menu bar; the pop-up standing in for one was given the class menu.
        if (const HMENU classMenu = GetMenu(hWnd)) {
            SetMenu(hWnd, nullptr);
            DestroyMenu(classMenu);
        }
    }
    CreateChildren();
    if (standIn)
        overlay.Start(hWnd, hWndChart, {x, y});

    if (!SetTimer(hWnd, refreshTimer, 100, MainTimerProc))
        ReportFatalError(L"CMainWindow::InitInstance");
    return true;
}

void CMainWindow::CreateChildren()
{
    closeButton.Create(*this);
    pinButton.Create(*this, closeButton, PinButtonProc);
    clientArea.Create(*this, closeButton, ClientAreaProc);
    spreadWindow.Create(clientArea, SpreadWindowProc);
    sellButton.Create(clientArea, spreadWindow, SellButtonProc);
    buyButton.Create(clientArea, spreadWindow, BuyButtonProc);

    // The volume list sits in the gap the two buttons' bottom notches leave.
    volumeCombo.CreateComboBox(clientArea, (clientArea.width - 71) / 2, buyButton.y + buyButton.height - 21, 71);
    volumeCombo.FillVolumeList();

    slLabel.CreateLabel(clientArea, IDB_LABEL, IDS_SL, 1, sellButton.y + sellButton.height + 1, LabelProc);
    slCombo.CreateComboBox(clientArea, slLabel.x + slLabel.width + 1, slLabel.y + 1,
                           sellButton.x + sellButton.width - slLabel.x - slLabel.width - 2);
    slCombo.FillStopList();
    tpLabel.CreateLabel(clientArea, IDB_LABEL, IDS_TP, buyButton.x, buyButton.y + buyButton.height + 1, LabelProc);
    tpCombo.CreateComboBox(clientArea, tpLabel.x + tpLabel.width + 1, tpLabel.y + 1,
                           buyButton.x + buyButton.width - tpLabel.x - tpLabel.width - 2);
    tpCombo.FillStopList();

    sltpCheckBox.CreateCheckBox(clientArea, slLabel.y + slLabel.height + 1, clientArea.width - 2);
    const int fieldWidth = clientArea.width / 2 - 2;
    const int fieldsTop = sltpCheckBox.y + sltpCheckBox.height + 1;
    volumeField.CreateLabelButton(clientArea, IDC_VOLUME_FIELD, sltpCheckBox.x, fieldsTop, fieldWidth);
    breakEvenField.CreateLabelButton(clientArea, IDC_BREAK_EVEN_FIELD, buyButton.x, fieldsTop, fieldWidth);
    profitField.CreateLabelButton(clientArea, IDC_PROFIT_FIELD, volumeField.x,
                                  breakEvenField.y + breakEvenField.height + 1, fieldWidth);
    closeAllButton.CreateButton(clientArea, IDC_CLOSE_ALL_BUTTON, breakEvenField.x,
                                breakEvenField.y + breakEvenField.height + 1, fieldWidth);
    closeAllButton.SetText(L"Close All");
    stripLabel.CreateLabel(clientArea, IDB_STRIP, 0, 1, profitField.y + profitField.height + 1, LabelProc);
}

void CMainWindow::RefreshPanel()
{
    // The chart closing during a command takes the panel's windows with it; the quit is on its way.
    if (!IsWindow(hWnd))
        return;
    // The stand-in goes as the child would have gone with the window it was in.
    if (overlay.active() && !overlay.Follow())
        return;
    // Only what changed is drawn: a quiet tick draws nothing. Whatever takes a part's pixels the system
    // knows of (the window hidden and shown, covered and uncovered) gives it its WM_PAINT, which draws it
    // whole. What it does not know of (a terminal drawing over its chart's child) the whole drawing of
    // every fifth tick repairs.
    ReadSymbolInfo(symbolInfo, symbolText);
    if (++ticksSinceWholeDrawing >= ticksBetweenWholeDrawings) {
        ticksSinceWholeDrawing = 0;
        shownName.reset();
        buyButton.ForgetShown();
        sellButton.ForgetShown();
        spreadWindow.ForgetShown();
        volumeField.ForgetShown();
        profitField.ForgetShown();
        breakEvenField.ForgetShown();
    }
    if (!shownName || *shownName != symbolInfo.Name) {
        GetMemDC();
        PrintSymbolLabel();
        ReleaseMemDC();
    }
    buyButton.UpdateButton(symbolInfo.Digits, symbolInfo.AskUp, symbolInfo.Ask);
    sellButton.UpdateButton(symbolInfo.Digits, symbolInfo.BidUp, symbolInfo.Bid);
    spreadWindow.UpdateSpread(symbolInfo.Digits, symbolInfo.Ask, symbolInfo.Bid);
    volumeField.JustifyText(L"Vol:", FormatFixed(symbolInfo.Vol, 3));
    profitField.JustifyText(L"P/L:", FormatFixed(symbolInfo.Profit, 2));
    breakEvenField.JustifyText(L"BE:", FormatBreakEven(symbolInfo.BEPrice, symbolInfo.Digits));
}

void CMainWindow::PrintSymbolLabel()
{
    const HGDIOBJ brush = SelectObject(memDC, backgroundBrush);
    if (!brush || brush == HGDI_ERROR)
        ReportFatalError(L"CMainWindow::PrintSymbolLabel");
    if (!PatBlt(memDC, 0, 0, width, height, PATCOPY))
        ReportFatalError(L"CMainWindow::PrintSymbolLabel");
    if (!SetBkMode(memDC, TRANSPARENT))
        ReportFatalError(L"CMainWindow::PrintSymbolLabel");
    if (SetTextColor(memDC, RGB(0, 0, 0)) == CLR_INVALID)
        ReportFatalError(L"CMainWindow::PrintSymbolLabel");
    const HGDIOBJ previousFont = SelectObject(memDC, font);
    if (!previousFont || previousFont == HGDI_ERROR)
        ReportFatalError(L"CMainWindow::PrintSymbolLabel");
    // Left of the pin and close buttons; a longer name runs on beneath them.
    RECT textRect = {3, 0, pinButton.x, closeButton.height};
    shownName = symbolInfo.Name;
    // An empty name is no failure: DrawText then reports the line height.
    if (!DrawTextW(memDC, symbolInfo.Name.c_str(), -1, &textRect, DT_NOCLIP))
        ReportFatalError(L"CMainWindow::PrintSymbolLabel");
    // The selections stay: the memory DC goes when the drawing closes.
}

namespace {

// Whether the system may activate the panel at all (wine passes over a window that may not be activated
// when it looks for one to give the focus to).
void SetActivatable(HWND window, bool activatable)
{
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    const LONG_PTR wanted = activatable ? style & ~LONG_PTR{WS_EX_NOACTIVATE} : style | WS_EX_NOACTIVATE;
    if (wanted != style)
        SetWindowLongPtrW(window, GWL_EXSTYLE, wanted);
}

}  // namespace

LRESULT MainWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GetMainWindow().mainWindowMessage(window, message, wParam, lParam);
}

LRESULT CMainWindow::mainWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        overlay.OnPanelDestroyed();
        QuitPanel();
        return 0;
    case WM_PAINT:
        StartPaint();
        PrintSymbolLabel();
        StopPaint();
        return 0;
    case WM_NCHITTEST: {
        // Keeps the panel above the chart's other children while the mouse is over it, and lets any free
        // point of its own surface drag it. Standing in for the child it has its own place in the z-order.
        if (!overlay.active())
            ResetWindowPos(window);
        const LRESULT hit = DefWindowProcW(window, message, wParam, lParam);
        return hit == HTCLIENT ? HTCAPTION : hit;
    }
    case WM_MOUSEACTIVATE:
        // Standing in for a child, the panel is activated by the trader's click on it, never by the window
        // manager's focus when the panel shows; and by nothing while the terminal is busy. (A click's
        // focus from the window manager comes before the click itself: the pointer tells it.)
        if (overlay.active()) {
            if (overlay.TerminalBusy())
                return MA_NOACTIVATEANDEAT;
            if (!overlay.UnderCursor()) {
                // Refused, wine gives the focus to the thread's last focused window instead: the panel
                // itself once the trader has clicked it. Not activatable until the refusal is over, it is
                // passed over and the terminal keeps the activation, as it would with a real child.
                SetActivatable(window, false);
                PostMessageW(window, activatableAgainMessage, 0, 0);
                return MA_NOACTIVATE;
            }
            SetActivatable(window, true);
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SYSCOMMAND:
        // Standing in for a child, the keyboard's window commands (Alt or F10 for the menu, Alt+F4) and the
        // window manager's close are the terminal's, as the child's go to its top-level window.
        if (overlay.active()) {
            const WPARAM command = wParam & 0xFFF0;
            if (command == SC_KEYMENU || command == SC_CLOSE) {
                SetForegroundWindow(overlay.terminal());
                PostMessageW(overlay.terminal(), WM_SYSCOMMAND, wParam, lParam);
                return 0;
            }
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case activatableAgainMessage:
        SetActivatable(window, true);
        return 0;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
        if (overlay.active() && overlay.OnDragMessage(message, wParam, lParam))
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void CALLBACK MainTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    // A tick that fails shows the last prices until the next one.
    win::Guarded([] { GetMainWindow().clockTick(); }, [] {});
}

void CMainWindow::clockTick()
{
    orderPath.clockTick();  // a late tick tells of a sleep or a clock set: a connection made ahead goes
    RefreshPanel();
}

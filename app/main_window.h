// The panel's controller and main window: attachment to the chart window, the children, the refresh cycle.
#pragma once

#include <windows.h>

#include <string>

#include "exchange/symbol_info.h"
#include "ui/base_window.h"

class CMainWindow : public CBaseWindow {
public:
    // Prepares the main window's class data and creates it through Initialize.
    bool Create(HINSTANCE instance, int showCommand);
    // Attaches to the chart window named on the command line, creates the window and starts the timer.
    bool InitInstance() override;

    // One refresh of everything that shows market data; runs every 100 ms.
    void RefreshPanel();
    // Draws the main window (background and symbol name) into the open memory bitmap.
    void PrintSymbolLabel();

    // The order command document: done when the expert has marked it so; the text for the Executing
    // dialog's second line.
    bool orderCompleted();
    std::wstring errorDescription();

    // The child window objects (close and pin buttons, client area, spread window, combo boxes, labels,
    // check box, value fields, Close All button, strip label) join here with the widgets.

    HWND hWndChart = nullptr;  // the number read from the command line, whether or not it names a window
    SymbolInfo symbolInfo;

    // The service endpoint state joins here with the order service client.

    int executingStep = 0;  // progress step of the Executing dialog

    // The SELL and BUY buttons join here with the price buttons.
};

// Makes the one controller object; false when it cannot be made.
bool MakeMainWindow();
// The one controller object; ends the process when there is none.
CMainWindow& GetMainWindow();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void CALLBACK MainTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

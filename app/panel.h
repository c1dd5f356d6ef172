// The panel as the programs that run it see it: its entry, and the test programs that drive the real panel
// in their own process. The controller's state stays inside app/.
#pragma once

#include <windows.h>

#include "service/order_request.h"

// Makes the one controller object; false when it cannot be made.
bool MakeMainWindow();
// Creates the panel on the chart its command line names (CMainWindow::Create on the one controller).
bool CreatePanel(HINSTANCE instance, int showCommand);
// The panel's main window; null before it is created.
HWND PanelWindow();
// The message is input the panel takes no part of now (the terminal's own modal dialog holds it).
bool PanelRefusesInput(const MSG& message);
// A trade command, as a press of BUY or SELL runs it; and whether one runs now.
void RunTradeCommand(OrderType type);
bool TradeCommandRunning();
// The journal's last line of a panel that ends by its message loop.
void NotePanelEnd(unsigned long exitCode);

#include "app/panel.h"

#include "app/input_freeze.h"
#include "app/main_window.h"

bool CreatePanel(HINSTANCE instance, int showCommand)
{
    return GetMainWindow().Create(instance, showCommand);
}

HWND PanelWindow()
{
    return GetMainWindow().window();
}

bool PanelRefusesInput(const MSG& message)
{
    return IsInputMessage(message.message) && GetMainWindow().terminalBusy();
}

void RunTradeCommand(OrderType type)
{
    GetMainWindow().tradeCommand(type);
}

bool TradeCommandRunning()
{
    return GetMainWindow().commandRunning();
}

void NotePanelEnd(unsigned long exitCode)
{
    GetMainWindow().noteEnd(exitCode, false);
}

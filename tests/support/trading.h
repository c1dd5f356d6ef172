// A trader at the panel in the chart of the whole system: the test process is the terminal (with its
// broker connection and expert), the stand-in service answers on the panel's endpoints; clicks are real.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/system.h"
#include "tools/terminal/broker_connection.h"

namespace harness {

std::wstring ClassOf(HWND window);
// A window's text, asked with a bound so a hung panel fails the test instead of holding it.
std::wstring TextOf(HWND window);
// A control of the panel's client area by class and left edge.
HWND ClientChild(HWND client, const wchar_t* className, int left);

// A real left click at a point of the window's client area, once X shows the window.
void Click(HWND window, int x, int y);
void ClickCentre(HWND window);
// Selects the combo box's text and types over it.
void TypeInto(HWND combo, const std::wstring& text);

struct Trading {
    explicit Trading(const std::string& primary = "ok", const std::string& secondary = "ok", DWORD delayMs = 300,
                     const std::wstring& program = L"panel.exe", const std::string& serviceAlsoOn = "");

    // The text of the value field whose text starts with the caption.
    std::wstring Field(const std::wstring& caption) const;
    HWND Dialog(const wchar_t* caption, DWORD timeoutMs = 8000) const;
    // Presses BUY as a trader does; the Executing dialog once it shows, or null.
    HWND Buy(DWORD timeoutMs = 8000) const;
    bool DialogGone(const wchar_t* caption, DWORD timeoutMs) const;
    // Presses BUY over an earlier command in the order area, with an expert that executes nothing, and
    // cancels the Executing dialog: what went otherwise than a failed order as the expert and the trader see
    // one (the area emptied, "Unknown Error."), or the empty text.
    std::string BuyThatFails(DWORD timeoutMs = 8000);
    std::vector<LoggedRequest> RequestsOnceThereAre(size_t count, DWORD timeoutMs = 8000) const;

    TerminalHost terminal;
    BrokerConnection broker;
    ServiceRun service;
    PanelRun panel;
    ExpertRunner expert;
    HWND window = nullptr, client = nullptr, buy = nullptr, sell = nullptr;
    HWND volume = nullptr, stopLoss = nullptr, takeProfit = nullptr, checkBox = nullptr, closeAll = nullptr;
};

}  // namespace harness

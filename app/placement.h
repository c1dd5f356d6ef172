// Where the panel sits inside the terminal's windows: the re-application of a window's place, the pin
// button (its procedure, which moves the panel between the chart and the terminal's top-level window, is
// the panel's) and the close button.
#pragma once

#include <windows.h>

#include "ui/base_window.h"
#include "win/callback_guard.h"

// The parent of a child window; null for a top-level window (an owner is no parent).
HWND ParentWindow(HWND window);

// Re-applies a window's own place and size inside its parent: shows it, recomputes its frame (so a style
// change made just before takes effect) and raises it above its siblings.
void ResetWindowPos(HWND window);

// The pin returns the panel only into the chart it came from: a closed chart's handle value can come back
// as an unrelated window, of another process.
bool ChartStillThere(HWND chart, DWORD terminalProcess);
// The pin's move of the real child: out of the chart into its top-level window at origin, or from there
// back into the chart at (6, 20) while the chart is still the terminal's.
void MovePanelBetweenChartAndTop(HWND pinButton, HWND chart, DWORD terminalProcess, POINT origin);

class CCloseButton : public CBaseWindow {
public:
    // At the right end of the panel's top strip.
    bool Create(CBaseWindow& panel);
};

class CPinButton : public CBaseWindow {
public:
    // Left of the close button.
    bool Create(CBaseWindow& panel, CBaseWindow& closeButton, WNDPROC procedure);
};

LRESULT CloseButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline constexpr WNDPROC CloseButtonProc = win::GuardedProcedure<CloseButtonMessage>;

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

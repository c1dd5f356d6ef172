// Where the panel sits inside the terminal's windows.
#pragma once

#include <windows.h>

// The parent of a child window; null for a top-level window (an owner is no parent).
HWND ParentWindow(HWND window);

// Re-applies a window's own place and size inside its parent: shows it, recomputes its frame (so a style
// change made just before takes effect) and raises it above its siblings.
void ResetWindowPos(HWND window);

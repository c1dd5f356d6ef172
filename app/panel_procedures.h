// The window procedures of the panel's widgets that act for the panel: they reach the controller, which
// knows what a press, a paint or a command means. The widgets themselves only draw what they are given.
#pragma once

#include <windows.h>

LRESULT CALLBACK SellButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK BuyButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The spread window's: paints the spread of the prices last read.
LRESULT CALLBACK SpreadWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// One class ("ButtonLabel") for all labels: the procedure finds its label among the panel's three.
LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The client area's: the parent of every control, receiver of their commands.
LRESULT CALLBACK ClientAreaProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The pin button's: its click moves the panel (MoveToOriginPos).
LRESULT CALLBACK PinButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The pin button's click: out of the chart into the terminal's top-level window at the panel's origin
// position, or back into the chart at (6, 20).
void MoveToOriginPos(HWND pinButton);

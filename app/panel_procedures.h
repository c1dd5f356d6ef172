// The window procedures of the panel's widgets that act for the panel: each hands its message to the
// controller, which knows what a press, a paint or a command means. The widgets only draw what they are
// given.
#pragma once

#include <windows.h>

#include "win/callback_guard.h"

LRESULT SellButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline constexpr WNDPROC SellButtonProc = win::GuardedProcedure<SellButtonMessage>;
LRESULT BuyButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline constexpr WNDPROC BuyButtonProc = win::GuardedProcedure<BuyButtonMessage>;
// The spread window's: paints the spread of the prices last read.
LRESULT SpreadWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline constexpr WNDPROC SpreadWindowProc = win::GuardedProcedure<SpreadWindowMessage>;
// One class ("ButtonLabel") for all labels: the procedure finds its label among the panel's three.
LRESULT LabelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline constexpr WNDPROC LabelProc = win::GuardedProcedure<LabelMessage>;
// The client area's: the parent of every control, receiver of their commands.
LRESULT ClientAreaMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline constexpr WNDPROC ClientAreaProc = win::GuardedProcedure<ClientAreaMessage>;
// The pin button's: its click moves the panel (MoveToOriginPos).
LRESULT PinButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline constexpr WNDPROC PinButtonProc = win::GuardedProcedure<PinButtonMessage>;

// The Close All dialogs' (the choice and the confirmation) and the Executing dialog's.
INT_PTR CALLBACK CloseAllDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ExecutingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The pin button's click: out of the chart into the terminal's top-level window at the panel's origin
// position, or back into the chart at (6, 20).
void MoveToOriginPos(HWND pinButton);

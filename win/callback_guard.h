// The system's code that calls a window, dialog, timer, hook or enumeration procedure carries no C++
// exception: one that reaches it ends the process in terminate, or unwinds the system's own frames with
// their state half changed (a modal loop left, a paint begun and never ended). Each such procedure runs its
// handler through Guarded: what the handler throws ends there, and the procedure answers what its fallback
// gives, for a window what the system's default handling would.
#pragma once

#include <windows.h>

namespace win {

template <typename Handler, typename Fallback>
auto Guarded(const Handler& handler, const Fallback& fallback) noexcept -> decltype(handler())
{
    try {
        return handler();
    } catch (...) {
        return fallback();
    }
}

// A window procedure's handler; the system's default handling of the message when it throws.
template <typename Handler>
LRESULT GuardedWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const Handler& handler) noexcept
{
    return Guarded(handler, [&] { return DefWindowProcW(window, message, wParam, lParam); });
}

// A window procedure made of a handler: what the handler throws gets the system's default handling.
template <LRESULT (*Handler)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK GuardedProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    return GuardedWindowMessage(window, message, wParam, lParam, [&] { return Handler(window, message, wParam, lParam); });
}

}  // namespace win

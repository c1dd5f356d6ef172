#include "app/input_freeze.h"

#include <new>

#include "ui/base_window.h"

namespace {

// The pointer's hover and leave too: made by its moves, they would start work ahead of a press.
constexpr UINT inputRanges[][2] = {{WM_KEYFIRST, WM_KEYLAST},
                                   {WM_MOUSEFIRST, WM_MOUSELAST},
                                   {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
                                   {WM_NCMOUSEHOVER, WM_MOUSELEAVE}};

void DisableOne(HWND window, std::vector<HWND>& disabled)
{
    // Hidden helper windows of the thread are left alone; a window already disabled stays as it is.
    if (!IsWindowVisible(window) || !IsWindowEnabled(window))
        return;
    // Noted before it is disabled: one that could not be noted would stay disabled for good. Out of memory
    // it stays enabled, and the input it takes meanwhile is thrown away with the rest.
    try {
        disabled.push_back(window);
    } catch (const std::bad_alloc&) {
        return;
    }
    EnableWindow(window, FALSE);
}

BOOL CALLBACK DisableThreadWindow(HWND window, LPARAM disabled)
{
    DisableOne(window, *reinterpret_cast<std::vector<HWND>*>(disabled));
    return TRUE;
}

}  // namespace

std::vector<HWND> DisableInput(HWND panel)
{
    std::vector<HWND> disabled;
    // In a chart the panel is no top-level window of its own, so it is named apart.
    DisableOne(panel, disabled);
    EnumThreadWindows(GetCurrentThreadId(), DisableThreadWindow, reinterpret_cast<LPARAM>(&disabled));
    return disabled;
}

void DiscardInput()
{
    // Peeking also turns the input still waiting outside the queue into messages, which go with the rest.
    // It hands out a posted quit too, whatever the range: that one is the panel's loop's and goes back.
    MSG message;
    bool quit = false;
    for (const auto& range : inputRanges)
        while (PeekMessageW(&message, nullptr, range[0], range[1], PM_REMOVE | PM_NOYIELD))
            quit = quit || message.message == WM_QUIT;
    if (quit)
        QuitPanel();
}

bool IsInputMessage(UINT message)
{
    for (const auto& range : inputRanges)
        if (message >= range[0] && message <= range[1])
            return true;
    return false;
}

InputFreeze::~InputFreeze()
{
    DiscardInput();
    // A window that went meanwhile (the chart closing takes the panel with it) is simply no longer there.
    for (auto window = disabled_.rbegin(); window != disabled_.rend(); ++window)
        if (IsWindow(*window))
            EnableWindow(*window, TRUE);
}

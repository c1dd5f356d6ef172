// While a trade command runs nothing of the panel takes input: not its window, not a dialog open around
// the command. Whatever the trader did meanwhile is thrown away when the command ends, never replayed.
#pragma once

#include <windows.h>

#include <vector>

// Disables the panel's window and every visible, enabled top-level window of this thread; the windows
// it disabled, to be enabled again.
std::vector<HWND> DisableInput(HWND panel);
// Throws away the keyboard and mouse input waiting in this thread's queue.
void DiscardInput();
// A keyboard or mouse message.
bool IsInputMessage(UINT message);

// Input disabled for its lifetime; at its end the input made meanwhile is discarded first.
class InputFreeze {
public:
    explicit InputFreeze(HWND panel) : disabled_(DisableInput(panel)) {}
    InputFreeze(const InputFreeze&) = delete;
    InputFreeze& operator=(const InputFreeze&) = delete;
    ~InputFreeze();

private:
    std::vector<HWND> disabled_;
};

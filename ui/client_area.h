// The white area below the panel's top strip: parent of every control, receiver of their commands.
#pragma once

#include "ui/base_window.h"

class CClientArea : public CBaseWindow {
public:
    bool Create(CBaseWindow& main, CBaseWindow& closeButton);
};

LRESULT CALLBACK ClientAreaProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

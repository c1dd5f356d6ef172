// The white area below the panel's top strip: parent of every control, receiver of their commands.
#pragma once

#include "ui/base_window.h"

class CClientArea : public CBaseWindow {
public:
    // The procedure is the panel's: it receives the controls' commands.
    bool Create(CBaseWindow& main, CBaseWindow& closeButton, WNDPROC procedure);
};

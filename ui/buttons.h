// The panel's system-class buttons: plain buttons with their own font, the read-only value fields, the
// Close All button and the check box.
#pragma once

#include <string>

#include "ui/base_window.h"

class CBaseButton : public CBaseWindow {
public:
    // A push button child of parent's window, 24 pixels high.
    bool CreateButton(CBaseWindow& parent, int commandId, int x, int y, int width);
    void SetText(const std::wstring& text);
    // Shows left and right on one line, right pushed towards the right edge by spaces; nothing when it
    // shows them already.
    void JustifyText(const std::wstring& left, const std::wstring& right);
    void ForgetShown() { justified_[0].clear(); }

private:
    std::wstring justified_[2];
};

// A button that shows a caption and a value and ignores the mouse: it looks like a button, acts as a field.
class CLabelButton : public CBaseButton {
public:
    bool CreateLabelButton(CBaseWindow& parent, int commandId, int x, int y, int width);
};

// The "Close All" command button.
class CCloseAll : public CBaseButton {};

class CCheckBox : public CBaseWindow {
public:
    // At x = 1, 20 pixels high, unchecked; the box toggles itself.
    bool CreateCheckBox(CBaseWindow& parent, int y, int width);

    wchar_t text[100] = {};
};

// The three editable drop-down lists: order volume, stop-loss and take-profit.
#pragma once

#include "ui/base_window.h"

class CComboBox : public CBaseWindow {
public:
    // A system combo box with an edit field, in parent's window; it shares parent's font.
    bool CreateComboBox(CBaseWindow& parent, int x, int y, int width);
    void FillVolumeList();
    void FillStopList();
    // Appends an item and selects the first.
    void AddString(const wchar_t* item);
    // The edit field's current text, at most 99 characters; valid until the next GetText.
    const wchar_t* GetText();

    wchar_t text[100] = {};
};

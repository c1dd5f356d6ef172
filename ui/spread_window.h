// The strip between the SELL and BUY buttons that shows the spread in pips.
#pragma once

#include "exchange/symbol_info.h"
#include "ui/base_window.h"

class CSpreadWindow : public CBaseWindow {
public:
    // Centred at the top of parent, sized by its bitmap.
    bool Create(CBaseWindow& parent);
    // Draws the spread of the record into the open memory bitmap.
    void PrintSpread(const SymbolInfo& info);
};

LRESULT CALLBACK SpreadWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The strip between the SELL and BUY buttons that shows the spread in pips.
#pragma once

#include <optional>

#include "ui/price_text.h"

#include "exchange/symbol_info.h"
#include "ui/base_window.h"

class CSpreadWindow : public CBaseWindow {
public:
    // Centred at the top of parent, sized by its bitmap.
    bool Create(CBaseWindow& parent);
    // Draws the spread of the record into the open memory bitmap.
    void PrintSpread(const SymbolInfo& info);
    // Draws the spread on screen when it is not the one shown.
    void UpdateSpread(const SymbolInfo& info);
    void ForgetShown() { shown_.reset(); }

private:
    std::optional<SpreadParts> shown_;
};

LRESULT CALLBACK SpreadWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The strip between the SELL and BUY buttons that shows the spread in pips.
#pragma once

#include <optional>

#include "ui/base_window.h"
#include "ui/price_text.h"

class CSpreadWindow : public CBaseWindow {
public:
    // Centred at the top of parent, sized by its bitmap; the procedure paints it (PrintSpread).
    bool Create(CBaseWindow& parent, WNDPROC procedure);
    // Draws the spread of the prices, at the symbol's digits, into the open memory bitmap.
    void PrintSpread(int digits, double ask, double bid);
    // Draws the spread on screen when it is not the one shown.
    void UpdateSpread(int digits, double ask, double bid);
    void ForgetShown() { shown_.reset(); }

private:
    std::optional<SpreadParts> shown_;
};

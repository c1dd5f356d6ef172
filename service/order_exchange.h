// The order types the panel sends as the request's Type.
#pragma once

#include <cstdint>
#include <string>

enum OrderType : std::int32_t {
    Buy = 0,
    Sell = 1,
    CloseSymbolDeals = 2,
    CloseAllDeals = 3,
    Finish = 4,
};

// The type's name as the journal writes it: "BUY", "SELL", "CLOSE_SYMBOL", "CLOSE_ALL", "FINISH".
const char* OrderTypeName(OrderType type);

// The order controls' values as the trader left them: the texts of the volume, stop-loss and take-profit
// lists, and "1" or "0" for the check box.
struct OrderFields {
    std::wstring volume;
    std::wstring stopLoss;
    std::wstring takeProfit;
    std::wstring setSlTpOnMarket;
};

// One order as it goes to the order service: its type and its values. The panel builds it; the stand-in
// service reads the same from the wire.
#pragma once

#include <cstdint>
#include <string>

// The order types the panel sends as the request's Type.
enum OrderType : std::int32_t {
    Buy = 0,
    Sell = 1,
    CloseSymbolDeals = 2,
    CloseAllDeals = 3,
    Finish = 4,
};

// The type's name as the journal and the order commands write it: "BUY", "SELL", "CLOSE_SYMBOL",
// "CLOSE_ALL", "FINISH"; "?" for any other value (a request may carry anything).
constexpr const char* OrderTypeName(std::int32_t type)
{
    switch (type) {
    case Buy:
        return "BUY";
    case Sell:
        return "SELL";
    case CloseSymbolDeals:
        return "CLOSE_SYMBOL";
    case CloseAllDeals:
        return "CLOSE_ALL";
    case Finish:
        return "FINISH";
    default:
        return "?";
    }
}

// The request's values as 8-bit text in the thread's ANSI code page, and the order type.
struct OrderRequest {
    std::string hash;
    std::string company;
    int type = 0;
    std::string volume;
    std::string stopLoss;
    std::string takeProfit;
    std::string setSlTpOnMarket;
};

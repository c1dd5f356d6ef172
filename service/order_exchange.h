// The order types the panel sends as the request's Type.
#pragma once

#include <cstdint>

enum OrderType : std::int32_t {
    Buy = 0,
    Sell = 1,
    CloseSymbolDeals = 2,
    CloseAllDeals = 3,
    Finish = 4,
};

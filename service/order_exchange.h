// A trade command's values as the controller reads them from the order controls.
#pragma once

#include <string>

#include "service/order_request.h"

// The order controls' values as the trader left them: the texts of the volume, stop-loss and take-profit
// lists, and "1" or "0" for the check box.
struct OrderFields {
    std::wstring volume;
    std::wstring stopLoss;
    std::wstring takeProfit;
    std::wstring setSlTpOnMarket;
};

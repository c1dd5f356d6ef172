// The values of the expert's last symbol document, as the panel shows them.
#pragma once

#include <string>

struct SymbolInfo {
    std::wstring Name;
    std::wstring Company;
    int Digits = 4;
    double Bid = 0.0;
    double Ask = 0.0;
    bool BidUp = false;  // the last move was up
    bool AskUp = false;
    double Vol = 0.0;
    double Profit = 0.0;
    double BEPrice = 0.0;
};

// The expert's symbol document: the market state the panel shows, read every 100 ms.
#pragma once

#include <functional>
#include <optional>
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

// Reads the symbol document into the record: all ten fields from a document that parses, none otherwise
// (no area, an empty one, or a text caught while the expert rewrites it).
void ReadSymbolInfo(SymbolInfo& info);
// The same, given the text it last parsed: a text equal to it gives what it gave then, so it is not
// parsed again (nor the parser made). Keeps the text of each parse.
void ReadSymbolInfo(SymbolInfo& info, std::wstring& lastText);

// Fills all ten fields from the root attributes that attribute() gives by name (an absent one as the empty
// text); none when any of them could not be read (nullopt: memory, COM), and then false.
bool ApplySymbolAttributes(SymbolInfo& info,
                           const std::function<std::optional<std::wstring>(const wchar_t*)>& attribute);

// The document's numbers, read as the expert writes them, with "." as decimal point whatever the user's
// regional settings.
int DecimalInteger(const std::wstring& text);  // base 10, saturating at the 32-bit limits; no digits: 0
double DecimalNumber(const std::wstring& text);  // the longest leading decimal number; none: 0
bool IsOne(const std::wstring& text);  // true exactly when the decimal integer is 1

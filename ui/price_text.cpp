#include "ui/price_text.h"

#include <bit>
#include <cstdint>

#include <algorithm>
#include <array>
#include <charconv>

std::wstring FormatFixed(double value, int decimals)
{
    decimals = std::max(decimals, 0);
    // The largest double has 309 integer digits.
    std::string buffer(static_cast<size_t>(decimals) + 330, '\0');
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
    return std::wstring(buffer.data(), result.ptr);
}

std::wstring FormatBreakEven(double price, int digits)
{
    if (price == 0.0)
        return L"N/A";
    // Digits is the expert's: a negative count shows no decimals, a huge one no more than a double holds.
    constexpr int maxBreakEvenDecimals = 15;
    return FormatFixed(price, std::clamp(digits, 0, maxBreakEvenDecimals));
}

namespace {

// Taking the first or last n characters clamps n to the text's length.
std::wstring First(const std::wstring& text, size_t n) { return text.substr(0, std::min(n, text.size())); }
std::wstring Last(const std::wstring& text, size_t n) { return text.substr(text.size() - std::min(n, text.size())); }
std::wstring DropLast(const std::wstring& text, size_t n) { return First(text, text.size() - std::min(n, text.size())); }

// The price text T, its integer part with the point H, and its decimals F.
struct PriceParts {
    std::wstring whole;
    std::wstring head;
    std::wstring decimals;
};

struct PieceRule {
    std::wstring (*text)(const PriceParts&);
    int top;
    int height;
    int weight;
};

struct DigitsRule {
    int startX;
    int count;
    std::array<PieceRule, 3> pieces;
};

constexpr int normal = 400;
constexpr int heavy = 900;

// Row d - 1 draws a price with d decimals.
constexpr std::array<DigitsRule, 5> digitsRules = {{
    {5, 2, {{{[](const PriceParts& p) { return p.head; }, 15, 20, normal},
             {[](const PriceParts& p) { return First(p.decimals, 1); }, 5, 30, heavy}}}},
    {5, 2, {{{[](const PriceParts& p) { return p.head; }, 15, 20, normal},
             {[](const PriceParts& p) { return First(p.decimals, 2); }, 6, 30, heavy}}}},
    {5, 3, {{{[](const PriceParts& p) { return p.head; }, 15, 20, normal},
             {[](const PriceParts& p) { return First(p.decimals, 2); }, 6, 30, heavy},
             {[](const PriceParts& p) { return Last(p.decimals, 1); }, 15, 20, heavy}}}},
    {1, 2, {{{[](const PriceParts& p) { return DropLast(p.whole, 2); }, 15, 20, normal},
             {[](const PriceParts& p) { return Last(p.whole, 2); }, 6, 30, heavy}}}},
    {1, 3, {{{[](const PriceParts& p) { return DropLast(p.whole, 3); }, 15, 20, normal},
             {[](const PriceParts& p) { return First(Last(p.decimals, 3), 2); }, 6, 30, heavy},
             {[](const PriceParts& p) { return Last(p.decimals, 1); }, 15, 20, heavy}}}},
}};

// The position of the first "." or the text's length.
size_t DotIndex(const std::wstring& text)
{
    const size_t dot = text.find(L'.');
    return dot == std::wstring::npos ? text.size() : dot;
}

}  // namespace

PriceLayout PricePieces(int digits, double price)
{
    PriceLayout layout;
    if (digits < 1 || digits > static_cast<int>(digitsRules.size()))
        return layout;
    PriceParts parts;
    parts.whole = FormatFixed(price, digits);
    const size_t dot = DotIndex(parts.whole);
    parts.decimals = Last(parts.whole, parts.whole.size() - std::min(dot + 1, parts.whole.size()));
    parts.head = First(parts.whole, dot + 1);

    const DigitsRule& rule = digitsRules[digits - 1];
    layout.startX = rule.startX;
    for (int i = 0; i < rule.count; ++i) {
        const PieceRule& piece = rule.pieces[i];
        layout.pieces.push_back({piece.text(parts), piece.top, piece.height, piece.weight});
    }
    return layout;
}

void FitPieces(std::vector<PricePiece>& pieces, int width, const PieceMeasure& measure)
{
    const auto widthAt = [&](double scale, std::vector<PricePiece>& scaled) {
        int total = 0;
        for (size_t i = 0; i < pieces.size(); ++i) {
            const PricePiece& piece = pieces[i];
            const int height = std::max(minPieceHeight, static_cast<int>(piece.height * scale));
            scaled[i] = {piece.text, piece.top + piece.height - height, height, piece.weight};
            total += measure(piece.text, height, piece.weight);
        }
        return total;
    };
    std::vector<PricePiece> scaled = pieces;
    const int natural = widthAt(1.0, scaled);
    if (natural <= width || natural <= 0)
        return;
    // Widths grow about as the heights: start near the scale that fits, then step down until it does.
    double scale = std::min(1.0, static_cast<double>(width) / natural);
    for (int step = 0; step < 40; ++step, scale -= 0.02) {
        if (widthAt(scale, scaled) <= width ||
            std::all_of(scaled.begin(), scaled.end(), [](const PricePiece& p) { return p.height == minPieceHeight; }))
            break;
    }
    pieces = std::move(scaled);
}

std::wstring DigitShape(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'0' && c <= L'9')
            c = L'0';
    return text;
}

SpreadParts SpreadPieces(int digits, double ask, double bid)
{
    double factor = 1.0;  // other digits: the raw difference
    if (digits == 1)
        factor = 10.0;
    else if (digits == 2 || digits == 3)
        factor = 100.0;
    else if (digits == 4 || digits == 5)
        factor = 10000.0;
    const std::wstring text = FormatFixed((ask - bid) * factor, 1);
    const size_t dot = DotIndex(text);
    return {First(text, dot), Last(text, text.size() - std::min(dot + 1, text.size()))};
}

int JustifySpaceCount(int buttonWidth, int leftWidth, int rightWidth, int spaceWidth)
{
    const int gap = buttonWidth - rightWidth - leftWidth - 6;
    const int count = spaceWidth > 0 && gap > 0 ? gap / spaceWidth : 0;
    return std::min(count, 15);
}

bool SamePrice(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// The texts the panel draws, apart from the drawing: price pieces, spread, justified fields, numbers.
#pragma once

#include <functional>
#include <string>
#include <vector>

// A number in fixed notation with the given decimals and "." as decimal point, for any value (no fixed
// buffer, no locale); negative decimals count as 0.
std::wstring FormatFixed(double value, int decimals);
// The "BE:" field's value: "N/A" for a break-even price of 0, otherwise the price with digits decimals.
std::wstring FormatBreakEven(double price, int digits);

// One piece of a price button's text: drawn at (x, top) with an Arial font of that height and weight.
struct PricePiece {
    std::wstring text;
    int top;
    int height;
    int weight;
};
struct PriceLayout {
    int startX = 0;
    std::vector<PricePiece> pieces;  // left to right; none for digits outside 1 to 5
};
// The price in pieces so that the two pip digits stand out.
PriceLayout PricePieces(int digits, double price);
// The pieces made small enough to stand side by side within width, as measure gives a text's width at a
// height and weight: all heights scaled alike, bottoms kept (the pip digits still stand out, on the same
// line); pieces that fit stay as they are. Never below a height of minPieceHeight.
using PieceMeasure = std::function<int(const std::wstring& text, int height, int weight)>;
constexpr int minPieceHeight = 8;
void FitPieces(std::vector<PricePiece>& pieces, int width, const PieceMeasure& measure);
// A text standing for another of the same width in Arial, whose digits share one advance: each digit as 0.
// Fitting a shape serves every price of that shape.
std::wstring DigitShape(std::wstring text);

// Whether two prices draw the same: bit for bit, so -0 differs from 0 (it is drawn with its sign) and a NaN
// equals itself (nothing new to draw).
bool SamePrice(double a, double b);

// The spread in pips with one decimal: the integer part (with its sign) and the decimal, drawn on either
// side of a centred point.
struct SpreadParts {
    std::wstring integer;
    std::wstring decimal;
    bool operator==(const SpreadParts&) const = default;
};
SpreadParts SpreadPieces(int digits, double ask, double bid);

// Spaces between a field's left and right texts so that the right one moves towards the right edge:
// never more than 15, none when the gap is narrower than one space.
int JustifySpaceCount(int buttonWidth, int leftWidth, int rightWidth, int spaceWidth);

// The texts of the panel's face, apart from drawing them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ui/price_text.h"

namespace {

struct Expected {
    const wchar_t* text;
    int top, height, weight;
};

void ExpectPieces(int digits, double price, int startX, std::initializer_list<Expected> expected)
{
    SCOPED_TRACE(testing::Message() << "digits " << digits << ", price " << price);
    const PriceLayout layout = PricePieces(digits, price);
    EXPECT_EQ(layout.startX, startX);
    ASSERT_EQ(layout.pieces.size(), expected.size());
    size_t i = 0;
    for (const Expected& e : expected) {
        const PricePiece& piece = layout.pieces[i++];
        EXPECT_EQ(piece.text, e.text);
        EXPECT_EQ(piece.top, e.top);
        EXPECT_EQ(piece.height, e.height);
        EXPECT_EQ(piece.weight, e.weight);
    }
}

}  // namespace

TEST(PricePieces, PipDigitsStandOutForEachDigitCount)
{
    ExpectPieces(5, 1.23456, 1, {{L"1.23", 15, 20, 400}, {L"45", 6, 30, 900}, {L"6", 15, 20, 900}});
    ExpectPieces(4, 1.2345, 1, {{L"1.23", 15, 20, 400}, {L"45", 6, 30, 900}});
    ExpectPieces(3, 123.456, 5, {{L"123.", 15, 20, 400}, {L"45", 6, 30, 900}, {L"6", 15, 20, 900}});
    ExpectPieces(2, 123.45, 5, {{L"123.", 15, 20, 400}, {L"45", 6, 30, 900}});
    ExpectPieces(1, 12.3, 5, {{L"12.", 15, 20, 400}, {L"3", 5, 30, 900}});
    // The record's values before the first document.
    ExpectPieces(4, 0.0, 1, {{L"0.00", 15, 20, 400}, {L"00", 6, 30, 900}});
    // Many integer digits: all of it, made to fit when drawn.
    ExpectPieces(2, 12345.67, 5, {{L"12345.", 15, 20, 400}, {L"67", 6, 30, 900}});
    ExpectPieces(5, 1.234564, 1, {{L"1.23", 15, 20, 400}, {L"45", 6, 30, 900}, {L"6", 15, 20, 900}});
}

TEST(PricePieces, DigitsOutsideOneToFiveDrawNoPrice)
{
    for (int digits : {0, 6, -1, 8, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
        EXPECT_TRUE(PricePieces(digits, 1.2345).pieces.empty()) << digits;
}

TEST(PricePieces, HostilePricesGiveBoundedPieces)
{
    const PriceLayout huge = PricePieces(5, 1e300);
    ASSERT_EQ(huge.pieces.size(), 3u);
    EXPECT_EQ(huge.pieces[0].text.size() + huge.pieces[1].text.size() + huge.pieces[2].text.size(), 301u + 1 + 5);
    const PriceLayout nan = PricePieces(5, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.pieces.size(), 3u);
    const PriceLayout inf = PricePieces(1, -std::numeric_limits<double>::infinity());
    ASSERT_EQ(inf.pieces.size(), 2u);
    EXPECT_EQ(inf.pieces[0].text + inf.pieces[1].text, L"-inf");

    // -0 is drawn with its sign, so a button showing 0 must be drawn again for it; a NaN shown is shown.
    EXPECT_NE(PricePieces(5, -0.0).pieces[0].text, PricePieces(5, 0.0).pieces[0].text);
    EXPECT_FALSE(SamePrice(0.0, -0.0));
    EXPECT_TRUE(SamePrice(std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()));
    EXPECT_TRUE(SamePrice(1.08444, 1.08444));
    EXPECT_FALSE(SamePrice(1.08444, 1.08445));
}

TEST(FitPieces, TooWidePricesShrinkAlikeOnTheirLineOthersStayAsTheyAre)
{
    // About as Arial: a character a little over half its height wide, a bold one wider.
    int measured = 0;
    const PieceMeasure measure = [&measured](const std::wstring& text, int height, int weight) {
        ++measured;
        return static_cast<int>(text.size()) * height * (weight > 400 ? 12 : 11) / 20;
    };
    const int buttonWidth = 75;
    const auto width = [&](const std::vector<PricePiece>& pieces) {
        int total = 0;
        for (const PricePiece& piece : pieces)
            total += measure(piece.text, piece.height, piece.weight);
        return total;
    };
    for (const auto& [digits, price] : {std::pair{5, 1.08436}, {3, 151.217}, {2, 2034.56}, {1, 38125.5},
                                        {2, 104250.55}, {1, 12.3}, {4, 1.2345}}) {
        SCOPED_TRACE(testing::Message() << digits << " digits, " << price);
        const PriceLayout layout = PricePieces(digits, price);
        const int room = buttonWidth - layout.startX - 1;
        std::vector<PricePiece> fitted = layout.pieces;
        FitPieces(fitted, room, measure);
        ASSERT_EQ(fitted.size(), layout.pieces.size());
        EXPECT_LE(width(fitted), room);
        for (size_t i = 0; i < fitted.size(); ++i) {
            EXPECT_EQ(fitted[i].text, layout.pieces[i].text);
            EXPECT_EQ(fitted[i].weight, layout.pieces[i].weight);
            EXPECT_EQ(fitted[i].top + fitted[i].height, layout.pieces[i].top + layout.pieces[i].height) << "bottom";
            if (width(layout.pieces) <= room)
                EXPECT_EQ(fitted[i].height, layout.pieces[i].height) << "a price that fits keeps its look";
            else
                EXPECT_LT(fitted[i].height, layout.pieces[i].height);
        }
        // The pip digits still the largest.
        EXPECT_GT(fitted[1].height, fitted[0].height);
        // As large as fits: a step larger would not.
        if (width(layout.pieces) > room) {
            std::vector<PricePiece> larger = fitted;
            for (size_t i = 0; i < larger.size(); ++i)
                larger[i].height = std::min(layout.pieces[i].height, larger[i].height * 108 / 100 + 1);
            EXPECT_GT(width(larger), room);
        }
    }
    // A price no button could hold ends at the smallest size, after a bounded number of tries.
    std::vector<PricePiece> huge = PricePieces(5, 1e300).pieces;
    measured = 0;
    FitPieces(huge, 70, measure);
    for (const PricePiece& piece : huge)
        EXPECT_EQ(piece.height, minPieceHeight);
    EXPECT_LE(measured, 200);

    EXPECT_EQ(DigitShape(L"-104250.55"), L"-000000.00");
}

TEST(SpreadPieces, PipsWithOneDecimalAroundThePoint)
{
    const auto expect = [](int digits, double ask, double bid, const wchar_t* integer, const wchar_t* decimal) {
        const SpreadParts parts = SpreadPieces(digits, ask, bid);
        EXPECT_EQ(parts.integer, integer) << digits << " " << ask << " " << bid;
        EXPECT_EQ(parts.decimal, decimal) << digits << " " << ask << " " << bid;
    };
    expect(5, 1.23468, 1.23456, L"1", L"2");
    expect(4, 1.2347, 1.2345, L"2", L"0");
    expect(3, 123.468, 123.456, L"1", L"2");
    expect(2, 1.23, 1.21, L"2", L"0");
    expect(1, 12.5, 12.3, L"2", L"0");
    expect(0, 1.23468, 1.23456, L"0", L"0");  // the raw difference
    expect(7, 1.5, 1.2, L"0", L"3");
    expect(5, 1.23456, 1.23458, L"-0", L"2");  // bid above ask
    expect(4, 0.0, 0.0, L"0", L"0");
    expect(4, 1.5, 0.2, L"13000", L"0");
}

TEST(Justify, SpacesFillTheGapUpToFifteen)
{
    EXPECT_EQ(JustifySpaceCount(74, 20, 30, 4), 4);  // (74 - 30 - 20 - 6) / 4
    EXPECT_EQ(JustifySpaceCount(74, 40, 40, 4), 0) << "no room: no space, nothing cut";
    EXPECT_EQ(JustifySpaceCount(74, 20, 45, 4), 0) << "a gap narrower than one space";
    EXPECT_EQ(JustifySpaceCount(400, 20, 30, 4), 15) << "at most 15";
    EXPECT_EQ(JustifySpaceCount(74, 20, 30, 0), 0) << "a space without width";
}

TEST(FormatFixed, CLocaleFixedNotationForAnyValue)
{
    EXPECT_EQ(FormatFixed(0.0, 3), L"0.000");
    EXPECT_EQ(FormatFixed(0.1, 3), L"0.100");
    EXPECT_EQ(FormatFixed(-12.5, 2), L"-12.50");
    EXPECT_EQ(FormatFixed(1234567.891, 2), L"1234567.89");
    EXPECT_EQ(FormatFixed(1.25, 0), L"1");
    EXPECT_EQ(FormatFixed(2.5, -3), L"2");
    EXPECT_EQ(FormatFixed(-1e300, 2).size(), 301u + 1 + 3);
}

TEST(BreakEven, NotAvailableForZeroOtherwiseDigitsDecimals)
{
    EXPECT_EQ(FormatBreakEven(0.0, 5), L"N/A");
    EXPECT_EQ(FormatBreakEven(0.0, -7), L"N/A");
    EXPECT_EQ(FormatBreakEven(1.2345, 5), L"1.23450");
    EXPECT_EQ(FormatBreakEven(1e-9, 5), L"0.00000") << "any value but 0 is formatted";
    EXPECT_EQ(FormatBreakEven(1.25, 0), L"1");
}

TEST(BreakEven, DigitsFromTheExpertCannotBreakTheText)
{
    EXPECT_EQ(FormatBreakEven(1.25, -1), L"1");
    EXPECT_EQ(FormatBreakEven(1.25, std::numeric_limits<int>::min()), L"1");
    EXPECT_EQ(FormatBreakEven(1.25, 400), L"1.250000000000000");
}

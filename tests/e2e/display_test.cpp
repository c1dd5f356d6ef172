// What the panel shows of the expert's symbol document, on screen (the panel on its own, where wine draws it).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/trading.h"
#include "tools/terminal/expert.h"

using namespace harness;

namespace {

constexpr RECT titleStrip = {3, 0, 115, 15};  // where the symbol name is drawn

std::string Document(const char* name)
{
    Quote quote;
    quote.bid = 1.08444;
    quote.ask = 1.08456;
    return SymbolDocument(name, "Stand-in Markets Ltd.", quote, Position());
}

}  // namespace

TEST(Display, SymbolNameFollowsTheExpertsDocumentAndSurvivesABrokenOne)
{
    ParkMouse();
    PanelRun panel(L"standalone");
    StandInExpert expert(panel.processId(), "EURUSD");
    const HWND window = StartStandalone(panel);
    ASSERT_NE(window, nullptr);
    const RECT strip = ClientRectOnScreen(window, titleStrip);

    // Nothing written yet: an empty name draws nothing.
    EXPECT_TRUE(WaitUntil([&] { return CountDark(CaptureScreen(strip)) == 0; }, 2000));

    expert.Publish(Document("EURUSD"));
    ASSERT_TRUE(WaitUntil([&] { return CountDark(CaptureScreen(strip)) > 40; }, 2000));
    const ScreenImage eurusd = CaptureScreen(strip);

    expert.Publish(Document("GBPJPY"));
    ASSERT_TRUE(WaitUntil([&] { return CountDark(CaptureScreen(strip)) > 40 && !(CaptureScreen(strip) == eurusd); },
                          2000));
    const ScreenImage gbpjpy = CaptureScreen(strip);

    // A document caught half-written is no new data: the last name stays.
    expert.Publish("<Symbol Name=\"EURUSD\" Digits=\"5\" Ask=\"1.0");
    Sleep(400);
    EXPECT_EQ(CaptureScreen(strip), gbpjpy);

    expert.Publish(Document(""));
    EXPECT_TRUE(WaitUntil([&] { return CountDark(CaptureScreen(strip)) == 0; }, 2000));
}

namespace {

// A panel on its own (where wine draws it) with the test playing its expert.
struct ShownPanel {
    ShownPanel() : panel(L"standalone"), expert(panel.processId(), "EURUSD")
    {
        ParkMouse();
        window = StartStandalone(panel);
        if (!window)
            return;
        client = FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr);
        sell = FindWindowExW(client, nullptr, L"SELL_BUTTON", nullptr);
        buy = FindWindowExW(client, nullptr, L"BUY_BUTTON", nullptr);
        spread = FindWindowExW(client, nullptr, L"SPREAD_WINDOW", nullptr);
    }
    // A document with these quotes; Digits 0 draws no price, leaving tiles and arrows to look at.
    void Show(int digits, double bid, double ask, bool bidUp, bool askUp)
    {
        char document[256];
        std::snprintf(document, sizeof document,
                      "<Symbol Name=\"EURUSD\" Digits=\"%d\" Bid=\"%.5f\" Ask=\"%.5f\" BidUp=\"%d\" AskUp=\"%d\"/>",
                      digits, bid, ask, bidUp ? 1 : 0, askUp ? 1 : 0);
        expert.Publish(document);
    }
    COLORREF Pixel(HWND control, int x, int y) const
    {
        POINT point = {x, y};
        ClientToScreen(control, &point);
        return ScreenPixel(point.x, point.y);
    }
    ScreenImage Capture(HWND control) const
    {
        RECT rect;
        GetClientRect(control, &rect);
        // The price buttons' notches show the windows beneath: keep to the rows between them.
        if (control == buy || control == sell)
            rect = {0, 10, 75, 36};
        return CaptureScreen(ClientRectOnScreen(control, rect));
    }

    PanelRun panel;
    StandInExpert expert;
    HWND window = nullptr, client = nullptr, sell = nullptr, buy = nullptr, spread = nullptr;
};


}  // namespace

TEST(Display, TilesArrowsAndNotchesShowOnScreen)
{
    ShownPanel shown;
    ASSERT_NE(shown.buy, nullptr);
    shown.Show(0, 1.1, 1.2, false, true);
    // SELL red, BUY green; BUY's arrow up (green), SELL's down (red): arrow centres at (arrowLeft + 6, 8).
    const auto shows = [&](HWND button, int x, int y, bool (*colour)(COLORREF)) {
        return WaitUntil([&] { return colour(shown.Pixel(button, x, y)); }, 2000);
    };
    EXPECT_TRUE(shows(shown.buy, 66, 8, Greenish));
    EXPECT_TRUE(shows(shown.sell, 30, 30, Reddish));
    EXPECT_TRUE(shows(shown.buy, 45, 30, Greenish));
    EXPECT_TRUE(shows(shown.sell, 8, 8, Reddish));

    shown.Show(0, 1.1, 1.2, true, false);
    EXPECT_TRUE(shows(shown.buy, 66, 8, Reddish)) << "BUY's arrow down";
    EXPECT_TRUE(shows(shown.sell, 8, 8, Greenish)) << "SELL's arrow up";

    // The white corners of the tiles lie in the notches, cut away: the client area's white shows there.
    EXPECT_EQ(shown.Pixel(shown.client, 40, 55), RGB(255, 255, 255));
    EXPECT_TRUE(shows(shown.sell, 36, 37, Reddish)) << "left of the white corner under SELL's notch";
}

TEST(Display, PricesAndSpreadAreRedrawnWithinTwoTicks)
{
    ShownPanel shown;
    ASSERT_NE(shown.buy, nullptr);
    shown.Show(5, 1.08444, 1.08456, true, true);
    ASSERT_TRUE(WaitUntil([&] { return CountDark(shown.Capture(shown.spread)) > 5; }, 2000)) << "spread 1.2 drawn";
    Sleep(250);
    const ScreenImage buyBefore = shown.Capture(shown.buy);
    const ScreenImage sellBefore = shown.Capture(shown.sell);
    const ScreenImage spreadBefore = shown.Capture(shown.spread);

    shown.Show(5, 1.08544, 1.08590, true, true);
    EXPECT_TRUE(WaitUntil([&] { return !(shown.Capture(shown.buy) == buyBefore); }, 250));
    EXPECT_FALSE(shown.Capture(shown.sell) == sellBefore);
    EXPECT_FALSE(shown.Capture(shown.spread) == spreadBefore) << "spread 4.6";

    // Digits outside 1 to 5: no price at all, only tile, arrow and caption, whatever the price.
    shown.Show(6, 1.08544, 1.08590, true, true);
    Sleep(250);
    const ScreenImage sixDigits = shown.Capture(shown.buy);
    shown.Show(0, 1.08544, 1.08590, true, true);
    Sleep(250);
    EXPECT_EQ(shown.Capture(shown.buy), sixDigits);
    shown.Show(-3, 9.99999, 7.77777, true, true);
    Sleep(250);
    EXPECT_EQ(shown.Capture(shown.buy), sixDigits);
    EXPECT_TRUE(Greenish(shown.Pixel(shown.buy, 45, 28)));
}

TEST(Display, EveryDigitOfAPriceShowsOnBothButtonsWhateverItsSize)
{
    ShownPanel shown;
    ASSERT_NE(shown.buy, nullptr);
    const auto show = [&](int digits, const std::string& price) {
        char document[256];
        std::snprintf(document, sizeof document,
                      "<Symbol Name=\"EURUSD\" Digits=\"%d\" Bid=\"%s\" Ask=\"%s\" BidUp=\"1\" AskUp=\"1\"/>", digits,
                      price.c_str(), price.c_str());
        shown.expert.Publish(document);
    };
    using Images = std::pair<ScreenImage, ScreenImage>;
    const auto capture = [&] { return Images{shown.Capture(shown.sell), shown.Capture(shown.buy)}; };
    // Both buttons drawn anew, unlike each of the images given.
    const auto shownUnlike = [&](std::initializer_list<const Images*> others, Images& now) {
        return WaitUntil(
            [&] {
                now = capture();
                for (const Images* other : others)
                    if (now.first == other->first || now.second == other->second)
                        return false;
                return true;
            },
            2000);
    };
    // The buttons with no price, to tell the price's pixels at the right edge from the tile's.
    Images first, bare;
    show(2, "55.55");
    const Images initial = capture();
    ASSERT_TRUE(shownUnlike({&initial}, first));
    show(0, "55.55");
    ASSERT_TRUE(shownUnlike({&first}, bare));
    const auto lastColumn = [](const ScreenImage& image) {
        std::vector<COLORREF> column;
        for (int y = 0; y < image.height; ++y)
            column.push_back(image.at(image.width - 1, y));
        return column;
    };

    Images previous = bare;
    for (const auto& [digits, price] : {std::pair{5, "1.08436"}, {3, "151.217"}, {2, "2034.56"}, {1, "38125.5"},
                                        {2, "104250.55"}}) {
        Images base;
        show(digits, price);
        ASSERT_TRUE(shownUnlike({&previous}, base)) << price;
        EXPECT_EQ(lastColumn(base.first), lastColumn(bare.first)) << price << " runs off SELL";
        EXPECT_EQ(lastColumn(base.second), lastColumn(bare.second)) << price << " runs off BUY";
        previous = base;
        const std::string text = price;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '.')
                continue;
            std::string changed = text;
            changed[i] = text[i] == '9' ? '8' : static_cast<char>(text[i] + 1);
            Images now;
            show(digits, changed);
            // Each change from the same price: a digit not seen leaves both buttons as the price drew them.
            EXPECT_TRUE(shownUnlike({&base, &previous}, now)) << changed << " shows as " << price;
            previous = now;
        }
    }
}

TEST(Display, TicksDrawingOnlyWhatChangedLeaveThePixelsOfAWholeRedraw)
{
    ShownPanel shown;
    ASSERT_NE(shown.buy, nullptr);
    std::vector<RECT> parts = {ClientRectOnScreen(shown.window, titleStrip)};
    for (HWND part : {shown.sell, shown.buy, shown.spread})
        parts.push_back(ClientRectOnScreen(part, part == shown.spread ? RECT{0, 0, 45, 10} : RECT{0, 10, 75, 36}));
    // The three fields, once the first tick has given them their texts.
    std::vector<RECT> fields;
    WaitUntil(
        [&] {
            fields.clear();
            for (HWND child = GetWindow(shown.client, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                const std::wstring text = TextOf(child);
                if (text.rfind(L"Vol:", 0) == 0 || text.rfind(L"P/L:", 0) == 0 || text.rfind(L"BE:", 0) == 0) {
                    RECT rect;
                    GetClientRect(child, &rect);
                    fields.push_back(ClientRectOnScreen(child, rect));
                }
            }
            return fields.size() == 3;
        },
        3000);
    parts.insert(parts.end(), fields.begin(), fields.end());
    ASSERT_EQ(parts.size(), 7u);
    const auto capture = [&] {
        std::vector<ScreenImage> images;
        for (const RECT& part : parts)
            images.push_back(CaptureScreen(part));
        return images;
    };
    // Drawn and still for more than a tick.
    const auto settled = [&] {
        return WaitUntil(
            [&] {
                const std::vector<ScreenImage> now = capture();
                Sleep(150);
                return capture() == now;
            },
            3000);
    };
    // Each one changes one thing a tick could wrongly leave as it was.
    const char* const documents[] = {
        "<Symbol Name=\"EURUSD\" Digits=\"5\" Bid=\"1.08444\" Ask=\"1.08456\" BidUp=\"1\" AskUp=\"1\" Vol=\"0.5\" "
        "Profit=\"2.5\" BEPrice=\"1.08\"/>",
        "<Symbol Name=\"EURUSD\" Digits=\"5\" Bid=\"1.08444\" Ask=\"1.08471\" BidUp=\"1\" AskUp=\"1\" Vol=\"0.5\" "
        "Profit=\"2.5\" BEPrice=\"1.08\"/>",
        "<Symbol Name=\"EURUSD\" Digits=\"5\" Bid=\"1.08431\" Ask=\"1.08471\" BidUp=\"0\" AskUp=\"1\" Vol=\"0.5\" "
        "Profit=\"2.5\" BEPrice=\"1.08\"/>",
        "<Symbol Name=\"EURUSD\" Digits=\"5\" Bid=\"1.08431\" Ask=\"1.08471\" BidUp=\"0\" AskUp=\"0\" Vol=\"0.5\" "
        "Profit=\"2.5\" BEPrice=\"1.08\"/>",
        "<Symbol Name=\"EURUSD\" Digits=\"3\" Bid=\"1.08431\" Ask=\"1.08471\" BidUp=\"0\" AskUp=\"0\" Vol=\"0.5\" "
        "Profit=\"2.5\" BEPrice=\"1.08\"/>",
        "<Symbol Name=\"GBPUSD\" Digits=\"3\" Bid=\"1.08431\" Ask=\"1.08471\" BidUp=\"0\" AskUp=\"0\" Vol=\"0.5\" "
        "Profit=\"2.5\" BEPrice=\"1.08\"/>",
        "<Symbol Name=\"GBPUSD\" Digits=\"3\" Bid=\"1.08431\" Ask=\"1.08471\" BidUp=\"0\" AskUp=\"0\" Vol=\"1.5\" "
        "Profit=\"-7\" BEPrice=\"1.08\"/>",
    };
    for (const char* document : documents) {
        const std::vector<ScreenImage> before = capture();
        shown.expert.Publish(document);
        EXPECT_TRUE(WaitUntil([&] { return capture() != before; }, 2000)) << document;
        ASSERT_TRUE(settled()) << document;
    }
    const std::vector<ScreenImage> ticked = capture();
    // The whole panel drawn again from scratch, as when it is uncovered.
    RedrawWindow(shown.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    ASSERT_TRUE(settled());
    const std::vector<ScreenImage> whole = capture();
    for (size_t i = 0; i < parts.size(); ++i)
        EXPECT_TRUE(whole[i] == ticked[i]) << "part " << i;
}

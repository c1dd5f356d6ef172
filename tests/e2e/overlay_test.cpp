// The panel in a chart of another process under wine, where it stands in for the child window that wine
// would not draw: what a trader sees of it on screen and what the mouse and keyboard do there.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include "tests/support/trading.h"
#include "tools/terminal/expert.h"

using namespace harness;

namespace {

// Where the child's corner belongs: (6, 20) of the chart's parent's client area.
POINT ChildPlace(HWND document) { return OnScreen(document, 6, 20); }

POINT WindowCorner(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {rect.left, rect.top};
}

bool operator==(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

// Pixels of the price tiles in a screen rectangle.
int TilePixels(const RECT& rect)
{
    const ScreenImage image = CaptureScreen(rect);
    int count = 0;
    for (COLORREF c : image.pixels)
        count += Reddish(c) || Greenish(c);
    return count;
}

// The BUY tile of a panel, and whether it shows green on screen within the time.
HWND BuyButton(HWND panel)
{
    return FindWindowExW(FindWindowExW(panel, nullptr, L"CLIENT_AREA", nullptr), nullptr, L"BUY_BUTTON", nullptr);
}
bool BuyShows(HWND buy, DWORD timeoutMs)
{
    // A point of the tile between the spread and the arrow, above the price.
    return WaitUntil([&] { return Greenish(ScreenPixel(OnScreen(buy, 40, 4).x, OnScreen(buy, 40, 4).y)); }, timeoutMs);
}

// The panel on a chart of the test's terminal, as a wine user runs it, with the test playing its expert.
struct ChartPanel {
    explicit ChartPanel(const TerminalLayout& layout = {})
        : terminal(layout), panel(ChartHandleText(terminal.chart())), expert(panel.processId(), "EURUSD")
    {
        ParkMouse();
        Quote quote;
        quote.bid = 1.08444;
        quote.ask = 1.08456;
        expert.Publish(SymbolDocument("EURUSD", "Stand-in Markets Ltd.", quote, Position()));
        window = panel.WaitForMainWindow();
        const HWND client = FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr);
        buy = FindWindowExW(client, nullptr, L"BUY_BUTTON", nullptr);
        sell = FindWindowExW(client, nullptr, L"SELL_BUTTON", nullptr);
        spread = FindWindowExW(client, nullptr, L"SPREAD_WINDOW", nullptr);
        WaitUntilOnScreen(window);
    }
    POINT BuyPoint() const { return OnScreen(buy, 40, 4); }
    bool BuyShows(DWORD timeoutMs) const { return ::BuyShows(buy, timeoutMs); }
    RECT PanelRect() const
    {
        const POINT corner = ChildPlace(terminal.document());
        return {corner.x, corner.y, corner.x + 158, corner.y + 189};
    }

    OverlayPanels overlay;  // before the panel starts
    TerminalHost terminal;
    PanelRun panel;
    StandInExpert expert;
    HWND window = nullptr, buy = nullptr, sell = nullptr, spread = nullptr;
};

}  // namespace

TEST(Overlay, PanelIsDrawnWhereTheChildBelongsAtTwoChartOffsets)
{
    TerminalLayout moved;
    moved.documentOrigin = {90, 50};
    moved.chartOffset = {2, 14};  // the whole panel inside the chart
    for (const TerminalLayout& layout : {TerminalLayout{}, moved}) {
        ChartPanel shown(layout);
        ASSERT_NE(shown.buy, nullptr);
        EXPECT_TRUE(WaitUntil([&] { return WindowCorner(shown.window) == ChildPlace(shown.terminal.document()); }, 2000));
        // The spread's dark digits once the document is read, the tiles, and white price digits on them.
        EXPECT_TRUE(WaitUntil(
            [&] { return CountDark(CaptureScreen(ClientRectOnScreen(shown.spread, {0, 0, 45, 10}))) > 5; }, 2000));
        EXPECT_TRUE(shown.BuyShows(2000));
        const POINT sellPoint = OnScreen(shown.sell, 40, 4);
        EXPECT_TRUE(Reddish(ScreenPixel(sellPoint.x, sellPoint.y)));
        int white = 0;
        const ScreenImage prices = CaptureScreen(ClientRectOnScreen(shown.buy, {0, 10, 75, 36}));
        for (COLORREF c : prices.pixels)
            white += GetRValue(c) > 220 && GetGValue(c) > 220 && GetBValue(c) > 220;
        EXPECT_GT(white, 40) << "the ask's digits";
    }
}

TEST(Overlay, FollowsTheTerminalsFrameAndTakesBackItsPlaceWithinTicks)
{
    ChartPanel shown;
    ASSERT_TRUE(shown.BuyShows(2000));
    const POINT corner = WindowCorner(shown.window);
    const POINT buy = shown.BuyPoint();
    shown.terminal.ui().Run([&] {
        SetWindowPos(shown.terminal.frame(), nullptr, 260, 110, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    });
    const POINT place = ChildPlace(shown.terminal.document());
    const POINT buyThere = {buy.x + place.x - corner.x, buy.y + place.y - corner.y};
    EXPECT_TRUE(WaitUntil([&] { return Greenish(ScreenPixel(buyThere.x, buyThere.y)); }, 300));
    EXPECT_TRUE(WindowCorner(shown.window) == place);

    // Someone else moves the panel (the window manager placing a window it has just mapped, an Alt-drag):
    // it is back within ticks, also right after a whole look at the window tree.
    for (int move = 0; move < 2; ++move) {
        SetWindowPos(shown.window, nullptr, place.x + 40, place.y + 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_TRUE(WaitUntil([&] { return WindowCorner(shown.window) == place; }, 500)) << "move " << move;
    }
    // The terminal made narrower from its right edge: the chart stays put, and the part of the panel past
    // the new edge is gone.
    RECT frame;
    GetWindowRect(shown.terminal.frame(), &frame);
    shown.terminal.ui().Run([&] {
        SetWindowPos(shown.terminal.frame(), nullptr, 0, 0, buyThere.x - 10 - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER);
    });
    EXPECT_TRUE(WaitUntil([&] { return !Greenish(ScreenPixel(buyThere.x, buyThere.y)); }, 500));
    EXPECT_TRUE(WindowCorner(shown.window) == place);
}

TEST(Overlay, AnotherChartAboveCoversThePanelUntilItMovesAway)
{
    ChartPanel shown;
    ASSERT_TRUE(shown.BuyShows(2000));
    const POINT buy = shown.BuyPoint();
    const POINT sell = OnScreen(shown.sell, 40, 4);
    // A second chart whose client area lies over the BUY tile but not over SELL.
    const HWND mdiClient = GetParent(shown.terminal.document());
    POINT origin = {buy.x - 20, buy.y - 60};
    ScreenToClient(mdiClient, &origin);
    HWND other = nullptr;
    shown.terminal.ui().Run([&] {
        other = CreateMDIWindowW(L"StandInChartDocument", L"GBPUSD,H1", WS_CLIPCHILDREN, origin.x, origin.y, 300, 300,
                                 mdiClient, GetModuleHandleW(nullptr), 0);
    });
    ASSERT_NE(other, nullptr);
    const COLORREF otherColour = GetSysColor(COLOR_BTNFACE);
    EXPECT_TRUE(WaitUntil([&] { return ScreenPixel(buy.x, buy.y) == otherColour; }, 1000));
    // A new shape shows once wine has put the panel's drawing back on screen, a few milliseconds on.
    EXPECT_TRUE(WaitUntil([&] { return Reddish(ScreenPixel(sell.x, sell.y)); }, 500)) << "the uncovered part still shows";

    shown.terminal.ui().Run([&] { SetWindowPos(other, nullptr, 420, 250, 0, 0, SWP_NOSIZE | SWP_NOZORDER); });
    // The whole panel is drawn again after its new shape, both tiles within a few milliseconds of each other.
    EXPECT_TRUE(WaitUntil(
        [&] { return Greenish(ScreenPixel(buy.x, buy.y)) && Reddish(ScreenPixel(sell.x, sell.y)); }, 1000));
}

TEST(Overlay, MinimizedChartShowsNoPixelOfThePanelUntilRestored)
{
    ChartPanel shown;
    ASSERT_TRUE(shown.BuyShows(2000));
    const RECT place = shown.PanelRect();
    shown.terminal.ui().Run([&] { ShowWindow(shown.terminal.document(), SW_MINIMIZE); });
    EXPECT_TRUE(WaitUntil([&] { return TilePixels(place) == 0; }, 1000));
    shown.terminal.ui().Run([&] { ShowWindow(shown.terminal.document(), SW_RESTORE); });
    EXPECT_TRUE(shown.BuyShows(1000));
}

TEST(Overlay, OtherProgramsCoverThePanelAndTheWindowManagerTakesItAlongWithTheTerminal)
{
    ChartPanel shown;
    ASSERT_TRUE(shown.BuyShows(2000));
    const RECT place = shown.PanelRect();
    const auto terminalActive = [&] {
        return WaitUntil([&] { return GetForegroundWindow() == shown.terminal.frame(); }, 1000) &&
               !WaitUntil([&] { return GetForegroundWindow() == shown.window; }, 500);
    };
    // The trader uses the panel (a click activates it), then goes back to the chart.
    Click(shown.window, 60, 8);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == shown.window; }, 1000));
    ASSERT_TRUE(Xdotool(MoveTo(OnScreen(shown.terminal.chart(), 500, 300)) + L" click 1"));
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == shown.terminal.frame(); }, 1000));
    {
        // Another program covers the chart and goes away: the terminal is active again, not the panel.
        XProgram logo(L"xlogo -geometry 240x260+" + std::to_wstring(place.left - 40) + L"+" +
                      std::to_wstring(place.top - 40));
        ASSERT_TRUE(logo.WaitActive());
    }
    EXPECT_TRUE(shown.BuyShows(1000));
    EXPECT_TRUE(terminalActive()) << "after another program went away";
    {
        // A program that wine does not run, activated over the chart and the whole panel.
        XProgram logo(L"xlogo -geometry 240x260+" + std::to_wstring(place.left - 40) + L"+" +
                      std::to_wstring(place.top - 40));
        ASSERT_TRUE(logo.WaitActive());
        EXPECT_TRUE(WaitUntil([&] { return TilePixels(place) == 0; }, 1000)) << "no pixel of the panel above it";
        // A click on the chart beside it brings the terminal back in front, and the panel with it.
        ASSERT_TRUE(Xdotool(MoveTo(OnScreen(shown.terminal.chart(), 500, 300)) + L" click 1"));
        EXPECT_TRUE(shown.BuyShows(300));
    }
    // The terminal minimized by the window manager takes the panel along; restored, the panel is back.
    const std::wstring frame = XWindowId(shown.terminal.frame());
    ASSERT_TRUE(Xdotool(L"windowminimize " + frame));
    EXPECT_TRUE(WaitUntil([&] { return TilePixels(place) == 0; }, 1000));
    ASSERT_TRUE(Xdotool(L"windowactivate " + frame));
    EXPECT_TRUE(shown.BuyShows(1000));
    // Showing it again never took the terminal's activation.
    EXPECT_TRUE(terminalActive()) << "after a minimize and restore";
}

namespace {

// The window commands the terminal's window is given, counted instead of carried out.
std::atomic<int> terminalMenus = 0, terminalCloses = 0;
WNDPROC terminalFrameProc = nullptr;

LRESULT CALLBACK CountingFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_KEYMENU) {
        ++terminalMenus;
        return 0;
    }
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        ++terminalCloses;
        return 0;
    }
    return CallWindowProcW(terminalFrameProc, window, message, wParam, lParam);
}

}  // namespace

TEST(Overlay, TheTerminalsKeysReachItFromTheActivePanel)
{
    ChartPanel shown;
    ASSERT_TRUE(shown.BuyShows(2000));
    const HWND frame = shown.terminal.frame();
    shown.terminal.ui().Run([&] {
        terminalFrameProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingFrameProc)));
    });
    const auto activatePanel = [&] {
        Click(shown.window, 60, 8);
        return WaitUntil([&] { return GetForegroundWindow() == shown.window; }, 1000);
    };
    // The menu keys: in a child they open the terminal's menu, not one of the panel's own that would
    // swallow every key until Esc.
    ASSERT_TRUE(activatePanel());
    ASSERT_TRUE(Xdotool(L"key F10"));
    EXPECT_TRUE(WaitUntil([&] { return terminalMenus == 1; }, 1000)) << "F10";
    ASSERT_TRUE(activatePanel());
    ASSERT_TRUE(Xdotool(L"key alt"));
    EXPECT_TRUE(WaitUntil([&] { return terminalMenus == 2; }, 1000)) << "Alt";
    // Alt+F4 closes the terminal, not the panel alone.
    ASSERT_TRUE(activatePanel());
    ASSERT_TRUE(Xdotool(L"key alt+F4"));
    EXPECT_TRUE(WaitUntil([&] { return terminalCloses == 1; }, 1000)) << "Alt+F4";
    EXPECT_FALSE(shown.panel.WaitForExit(300) == 0u) << "the panel closed itself";
    shown.terminal.ui().Run([&] {
        SetWindowLongPtrW(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(terminalFrameProc));
    });
}

TEST(Overlay, TerminalBusyWithADialogOfItsOwnLeavesThePanelDeafAndAClosedChartTakesNoPress)
{
    const OverlayPanels overlay;
    {
        Trading trading;
        ASSERT_NE(trading.buy, nullptr);
        // A modal dialog of the terminal's own disables its window: a click on BUY meanwhile is not taken.
        trading.terminal.ui().Run([&] { EnableWindow(trading.terminal.frame(), FALSE); });
        Click(trading.buy, 30, 25);
        // A taken press reaches the service within milliseconds; this one must not, however long it waits.
        EXPECT_FALSE(WaitUntil([&] { return !trading.service.Requests().empty(); }, 1500));
        trading.terminal.ui().Run([&] { EnableWindow(trading.terminal.frame(), TRUE); });
        Click(trading.sell, 30, 25);
        const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].type, 1) << "SELL, the first click taken";
    }
    {
        // The chart closes, and a press reaches the panel before its next tick: no chart, no order.
        Trading trading;
        ASSERT_NE(trading.buy, nullptr);
        trading.terminal.ui().Run([&] { DestroyWindow(trading.terminal.document()); });
        PostMessageW(trading.buy, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 25));
        PostMessageW(trading.buy, WM_LBUTTONUP, 0, MAKELPARAM(30, 25));
        EXPECT_EQ(trading.panel.WaitForExit(5000), 0u);
        EXPECT_TRUE(trading.service.Requests().empty());
    }
}

TEST(Overlay, FourChartsEachShowTheirOwnPanelAndAPinnedOneStaysSteadyOverAnother)
{
    const OverlayPanels overlay;
    TerminalHost terminal;
    std::vector<HWND> charts = {terminal.chart()};
    for (const wchar_t* symbol : {L"GBPUSD", L"USDJPY", L"AUDUSD"})
        charts.push_back(terminal.AddChart(symbol));
    terminal.Tile();
    ParkMouse();
    std::vector<std::unique_ptr<PanelRun>> panels;
    std::vector<std::unique_ptr<StandInExpert>> experts;
    Quote quote;
    quote.bid = 1.08444;
    quote.ask = 1.08456;
    for (HWND chart : charts) {
        panels.push_back(std::make_unique<PanelRun>(ChartHandleText(chart)));
        experts.push_back(std::make_unique<StandInExpert>(panels.back()->processId(), "EURUSD"));
        experts.back()->Publish(SymbolDocument("EURUSD", "Stand-in Markets Ltd.", quote, Position()));
    }
    std::vector<HWND> windows;
    for (size_t i = 0; i < charts.size(); ++i) {
        // Four wine processes start at once, beside another test: more time than one panel needs.
        windows.push_back(panels[i]->WaitForMainWindow(20000));
        ASSERT_NE(windows.back(), nullptr) << "panel " << i;
        const HWND document = GetParent(charts[i]);
        EXPECT_TRUE(WaitUntil([&] { return WindowCorner(windows[i]) == ChildPlace(document); }, 2000)) << "panel " << i;
        EXPECT_TRUE(BuyShows(BuyButton(windows[i]), 2000)) << "panel " << i;
    }

    // The second chart's panel pinned out to the terminal's window lies over the first chart's panel: the
    // two keep their order, with nothing drawn again meanwhile.
    POINT origin = ChildPlace(GetParent(charts[1]));
    ScreenToClient(charts[1], &origin);
    Click(FindWindowExW(windows[1], nullptr, L"PIN_BUTTON", nullptr), 10, 7);
    const POINT pinned = OnScreen(terminal.frame(), origin.x, origin.y);
    ASSERT_TRUE(WaitUntil([&] { return WindowCorner(windows[1]) == pinned; }, 2000));
    ASSERT_TRUE(BuyShows(BuyButton(windows[1]), 2000));
    ParkMouse();
    RECT both, first, second;
    GetWindowRect(windows[0], &first);
    GetWindowRect(windows[1], &second);
    ASSERT_TRUE(IntersectRect(&both, &first, &second)) << "the pinned panel lies over the other";
    UnionRect(&both, &first, &second);
    // The windows right above the terminal's, nearest first: the panels keep their places there too.
    const auto zOrder = [&] {
        std::vector<HWND> above;
        for (HWND window = GetWindow(terminal.frame(), GW_HWNDPREV); window && above.size() < 8;
             window = GetWindow(window, GW_HWNDPREV))
            above.push_back(window);
        return above;
    };
    const ScreenImage before = CaptureScreen(both);
    const std::vector<HWND> order = zOrder();
    for (int tick = 0; tick < 10; ++tick) {
        Sleep(100);
        EXPECT_TRUE(zOrder() == order) << "a quiet tick placed a panel again";
    }
    EXPECT_TRUE(CaptureScreen(both) == before) << "the panels' order or drawing changed";

    // A click on the first chart's panel (where the pinned one leaves it free) activates it, and the window
    // manager raises it; the pinned one, a child of the terminal's window, is soon over it again.
    const auto above = [](HWND upper, HWND lower) {
        for (HWND window = GetWindow(lower, GW_HWNDPREV); window; window = GetWindow(window, GW_HWNDPREV))
            if (window == upper)
                return true;
        return false;
    };
    POINT free = {-1, -1};
    for (int x = 5; x < 150 && free.x < 0; x += 5)
        for (int y : {8, 180})
            if (const POINT point = OnScreen(windows[0], x, y); free.x < 0 && !PtInRect(&second, point))
                free = {x, y};
    ASSERT_GE(free.x, 0) << "the pinned panel covers the other's strips";
    Click(windows[0], free.x, free.y);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == windows[0]; }, 1000));
    EXPECT_TRUE(WaitUntil([&] { return above(windows[1], windows[0]); }, 1000)) << "the pinned panel under another";
    EXPECT_FALSE(WaitUntil([&] { return !above(windows[1], windows[0]); }, 500)) << "the order changes back";
}

TEST(Overlay, TypedVolumeAndARealBuyClickTradeWithTheTerminalHeldMeanwhile)
{
    const OverlayPanels overlay;
    Trading trading;
    ASSERT_NE(trading.buy, nullptr);
    ASSERT_EQ(GetAncestor(trading.window, GA_PARENT), GetDesktopWindow()) << "the stand-in, not the child";
    TypeInto(trading.volume, L"0.37");
    ASSERT_NE(trading.Buy(), nullptr);
    EXPECT_FALSE(IsWindowEnabled(trading.terminal.frame())) << "the Executing dialog is modal to the terminal";
    EXPECT_TRUE(trading.DialogGone(L"Executing", 8000));
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, 0);
    EXPECT_EQ(requests[0].volume, "0.37");
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(trading.terminal.frame()) != FALSE; }, 2000));

    // The close button's release ends the panel as in the chart.
    Click(FindWindowExW(trading.window, nullptr, L"CLOSE_BUTTON", nullptr), 10, 7);
    EXPECT_EQ(trading.panel.WaitForExit(5000), 0u);
}

TEST(Overlay, OrderOnTheWireLeavesThePricesLiveAndThePanelFollowingTheFrame)
{
    // The service answers after 4 s; meanwhile the panel shows new prices and stays on its chart.
    const OverlayPanels overlay;
    Trading trading("late", "late", 100);
    ASSERT_NE(trading.buy, nullptr);
    ASSERT_TRUE(WaitUntilOnScreen(trading.window));
    Click(trading.buy, 40, 25);
    ASSERT_EQ(trading.RequestsOnceThereAre(1).size(), 1u);

    trading.expert.SetQuoting(false);
    const RECT digits = ClientRectOnScreen(trading.buy, {0, 10, 75, 36});
    const ScreenImage before = CaptureScreen(digits);
    Quote quote;
    quote.bid = 1.23451;
    quote.ask = 1.23467;
    trading.expert.Publish(SymbolDocument("EURUSD", "Stand-in Markets Ltd.", quote, Position()));
    EXPECT_TRUE(WaitUntil([&] { return !(CaptureScreen(digits) == before); }, 1000)) << "the ask's digits";

    RECT frame = {};
    GetWindowRect(trading.terminal.frame(), &frame);
    trading.terminal.ui().Run([&] {
        SetWindowPos(trading.terminal.frame(), nullptr, frame.left + 40, frame.top + 30, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
    });
    const POINT place = ChildPlace(trading.terminal.document());
    EXPECT_TRUE(WaitUntil([&] { return WindowCorner(trading.window) == place; }, 300));
    EXPECT_EQ(WaitForMessageBox(trading.panel.processId(), L"Executing", 0), nullptr)
        << "all of it while the service held the order";

    // The command goes on as ever: the dialog once the answer is in, the expert, the Finish.
    EXPECT_NE(trading.Dialog(L"Executing", 8000), nullptr);
    EXPECT_TRUE(trading.DialogGone(L"Executing", 8000));
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2, 10000);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].type, 4);
}

TEST(Overlay, PinMovesThePanelOutAndBackAndTheChartClosingEndsIt)
{
    ChartPanel shown;
    ASSERT_TRUE(shown.BuyShows(2000));
    const HWND pin = FindWindowExW(shown.window, nullptr, L"PIN_BUTTON", nullptr);
    // Out: at the origin position, taken in the terminal's top-level window.
    POINT origin = ChildPlace(shown.terminal.document());
    ScreenToClient(shown.terminal.chart(), &origin);
    Click(pin, 10, 7);
    EXPECT_TRUE(WaitUntil([&] { return WindowCorner(shown.window) == OnScreen(shown.terminal.frame(), origin.x, origin.y); }, 1000));
    EXPECT_TRUE(shown.BuyShows(1000));
    // Back: at (6, 20) of the chart.
    Click(pin, 10, 7);
    EXPECT_TRUE(WaitUntil([&] { return WindowCorner(shown.window) == OnScreen(shown.terminal.chart(), 6, 20); }, 1000));
    EXPECT_TRUE(shown.BuyShows(1000));

    shown.terminal.ui().Run([&] { DestroyWindow(shown.terminal.chart()); });
    EXPECT_EQ(shown.panel.WaitForExit(3000), 0u);
}

TEST(Overlay, DragMovesThePanelWithinTheChartAndTheTicksKeepItThere)
{
    ChartPanel shown;
    ASSERT_TRUE(shown.BuyShows(2000));
    // A click activates it: the window manager has it from then on, and still the drag keeps it in the chart.
    Click(shown.window, 60, 8);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == shown.window; }, 1000));
    const POINT before = WindowCorner(shown.window);
    const POINT grip = OnScreen(shown.window, 60, 8);
    ASSERT_TRUE(Drag(grip, {grip.x + 30, grip.y + 25}));
    EXPECT_TRUE(WaitUntil([&] { return WindowCorner(shown.window).x == before.x + 30; }, 2000));
    Sleep(400);
    const POINT moved = {before.x + 30, before.y + 25};
    EXPECT_TRUE(WindowCorner(shown.window) == moved) << "the ticks keep the new place";

    // Far out to the left: the point held stays in the chart, as the mouse does when it drags a child.
    const POINT held = OnScreen(shown.window, 60, 8);
    const int gripOffset = held.x - WindowCorner(shown.window).x;
    ASSERT_TRUE(Drag(held, {5, held.y}));
    const POINT chartCorner = OnScreen(shown.terminal.chart(), 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return WindowCorner(shown.window).x + gripOffset == chartCorner.x; }, 2000))
        << WindowCorner(shown.window).x + gripOffset << " vs " << chartCorner.x;
    EXPECT_TRUE(shown.BuyShows(1000)) << "the part still in the chart shows";

    // A move without the button (the release was lost, as when a dialog disabled the panel meanwhile) ends
    // the drag: the button held down again drags nothing.
    const POINT start = WindowCorner(shown.window);
    const POINT grip2 = OnScreen(shown.window, 60, 8);
    ASSERT_TRUE(Xdotool(MoveTo(grip2) + L" sleep 0.2 mousedown 1 sleep 0.2 " + MoveTo({grip2.x + 10, grip2.y + 8})));
    ASSERT_TRUE(WaitUntil([&] { return WindowCorner(shown.window).x == start.x + 10; }, 2000)) << "the drag is on";
    PostMessageW(shown.window, WM_MOUSEMOVE, 0, MAKELPARAM(60, 8));
    ASSERT_TRUE(Xdotool(L"sleep 0.2 " + MoveTo({grip2.x + 60, grip2.y + 40}) + L" sleep 0.2 mouseup 1"));
    EXPECT_FALSE(WaitUntil([&] { return WindowCorner(shown.window).x != start.x + 10; }, 500))
        << "the panel followed a drag that had ended";

    // Each of the drag's messages counts at its own point, not where the pointer is when the panel takes it
    // (here parked far away).
    ParkMouse();
    const POINT corner = WindowCorner(shown.window);
    const POINT pressed = OnScreen(shown.window, 60, 8);  // a press's point is on the screen, a move's in the client
    PostMessageW(shown.window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(pressed.x, pressed.y));
    PostMessageW(shown.window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60 + 12, 8 + 9));
    PostMessageW(shown.window, WM_LBUTTONUP, 0, MAKELPARAM(60 + 12, 8 + 9));
    EXPECT_TRUE(WaitUntil([&] { return WindowCorner(shown.window) == POINT{corner.x + 12, corner.y + 9}; }, 2000))
        << WindowCorner(shown.window).x - corner.x << ", " << WindowCorner(shown.window).y - corner.y;
}

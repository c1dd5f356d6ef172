// The panel under a trader's real mouse (X input through xdotool) and on screen.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/harness.h"

using namespace harness;

namespace {

constexpr COLORREF panelBackground = RGB(226, 225, 225);

// A point of the panel's own surface in screen coordinates, from its client coordinates.
}  // namespace

TEST(Mouse, StandalonePanelOutlivesTheMouseMovingOverIt)
{
    ParkMouse();
    PanelRun panel(L"standalone");
    const HWND window = StartStandalone(panel);
    ASSERT_NE(window, nullptr);
    RECT before;
    GetWindowRect(window, &before);

    for (const POINT& point : {OnScreen(window, 10, 10), OnScreen(window, 80, 90), OnScreen(window, 140, 150)}) {
        ASSERT_TRUE(Xdotool(MoveTo(point)));
        Sleep(150);
    }
    EXPECT_TRUE(panel.process().running()) << "exit code " << panel.process().exitCode();
    EXPECT_EQ(WaitForMessageBox(panel.processId(), L"Error", 0), nullptr);
    RECT after;
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&before, &after)) << "the panel moved to " << after.left << "," << after.top;
}

TEST(Mouse, PointingAtAStandalonePanelLeavesTheActiveWindowActive)
{
    // The trader types in another window and the mouse passes over the panel on its way.
    ParkMouse();
    PanelRun panel(L"standalone");
    const HWND window = StartStandalone(panel);
    ASSERT_NE(window, nullptr);
    UiThread ui;
    TestWindowOptions options;
    options.rect = {400, 300, 700, 500};
    const HWND typing = CreateTestWindow(ui, options);
    ASSERT_NE(typing, nullptr);
    ASSERT_TRUE(ui.Run([&] { SetForegroundWindow(typing); }));
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == typing; }, 2000));

    for (const POINT& point : {OnScreen(window, 10, 10), OnScreen(window, 80, 5), OnScreen(window, 140, 150)}) {
        ASSERT_TRUE(Xdotool(MoveTo(point)));
        Sleep(150);
    }
    EXPECT_EQ(GetForegroundWindow(), typing);
}

TEST(Mouse, PointingAtThePanelRaisesItAboveTheChartsOtherChildren)
{
    ParkMouse();
    TerminalHost terminal;
    PanelRun panel(ChartHandleText(terminal.chart()));
    const HWND window = panel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);

    // An indicator window of the terminal, made after the panel, covers its lower part from above.
    TestWindowOptions indicator;
    indicator.parent = terminal.chart();
    indicator.rect = {0, 80, 300, 300};
    const HWND cover = CreateTestWindow(terminal.ui(), indicator);
    ASSERT_NE(cover, nullptr);
    terminal.ui().Run([&] { SetWindowPos(cover, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); });
    ASSERT_EQ(GetWindow(terminal.chart(), GW_CHILD), cover);

    ASSERT_TRUE(Xdotool(MoveTo(OnScreen(window, 60, 8))));
    EXPECT_TRUE(WaitUntil([&] { return GetWindow(terminal.chart(), GW_CHILD) == window; }, 3000));
    EXPECT_TRUE(panel.process().running());
}

TEST(Mouse, TopLevelChartsPanelOutlivesTheMouse)
{
    ParkMouse();
    UiThread ui;
    const HWND topLevel = CreateTestWindow(ui, {});
    ASSERT_NE(topLevel, nullptr);
    PanelRun panel(ChartHandleText(topLevel));
    const HWND window = panel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const RECT before = RectInParent(window);

    ASSERT_TRUE(Xdotool(MoveTo(OnScreen(window, 20, 6))));
    ASSERT_TRUE(Xdotool(MoveTo(OnScreen(window, 90, 100))));
    Sleep(300);
    EXPECT_TRUE(panel.process().running()) << "exit code " << panel.process().exitCode();
    const RECT after = RectInParent(window);
    EXPECT_TRUE(EqualRect(&before, &after));
    ui.Run([&] { DestroyWindow(topLevel); });
}

TEST(Mouse, DraggingTheTitleStripMovesThePanelInsideTheChart)
{
    ParkMouse();
    TerminalHost terminal;
    PanelRun panel(ChartHandleText(terminal.chart()));
    const HWND window = panel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const RECT before = RectInParent(window);

    const POINT grip = OnScreen(window, 60, 8);
    const POINT drop = {grip.x + 30, grip.y + 25};
    ASSERT_TRUE(Drag(grip, drop));

    EXPECT_TRUE(WaitUntil([&] { return RectInParent(window).left == before.left + 30; }, 3000));
    const RECT after = RectInParent(window);
    EXPECT_EQ(after.left, before.left + 30);
    EXPECT_EQ(after.top, before.top + 25);
    EXPECT_EQ(GetParent(window), terminal.chart());
}

TEST(Screen, StandalonePanelShowsItsBackgroundAndRedrawsItEveryTick)
{
    ParkMouse();
    PanelRun panel(L"standalone");
    const HWND window = StartStandalone(panel);
    ASSERT_NE(window, nullptr);
    // A point of the main window's own surface: the title strip, empty while no symbol is known.
    const POINT centre = OnScreen(window, 60, 8);
    EXPECT_TRUE(WaitUntil([&] { return ScreenPixel(centre.x, centre.y) == panelBackground; }, 3000))
        << std::hex << ScreenPixel(centre.x, centre.y);

    // Paint over the panel from outside without invalidating it: the refresh's whole drawing of every
    // fifth tick brings it back.
    const HDC dc = GetDC(window);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(window, dc);
    EXPECT_TRUE(WaitUntil([&] { return ScreenPixel(centre.x, centre.y) == panelBackground; }, 1000))
        << std::hex << ScreenPixel(centre.x, centre.y);
}

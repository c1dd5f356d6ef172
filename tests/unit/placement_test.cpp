// The pin's way back into the chart, with windows of this process standing in for the terminal's; the
// input thrown away after a command.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/input_freeze.h"
#include "app/main_window.h"
#include "app/placement.h"

namespace {

HWND Make(HWND parent, DWORD style)
{
    return CreateWindowExW(0, L"STATIC", nullptr, style, 0, 0, 300, 300, parent, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

}  // namespace

TEST(Placement, PinReturnsThePanelOnlyToAChartOfTheTerminalItCameFrom)
{
    // The panel sits pinned out in the terminal's top-level window; the chart handle it kept now names a
    // window of another process (a closed chart's handle value can come back that way).
    ASSERT_TRUE(MakeMainWindow());
    CMainWindow& main = GetMainWindow();
    const HWND root = Make(nullptr, WS_OVERLAPPED);
    main.hWndChart = Make(root, WS_CHILD);
    main.hWnd = Make(root, WS_CHILD);
    const HWND pin = Make(main.hWnd, WS_CHILD);

    main.terminalProcess = GetCurrentProcessId() + 4;
    MoveToOriginPos(pin);
    EXPECT_EQ(GetParent(main.hWnd), root) << "not into another process's window";

    main.terminalProcess = GetCurrentProcessId();
    MoveToOriginPos(pin);
    EXPECT_EQ(GetParent(main.hWnd), main.hWndChart) << "back into the terminal's chart";
    DestroyWindow(root);
}

TEST(InputFreeze, DiscardedInputLeavesThePanelsQuitInPlace)
{
    // The chart closed during the command: its windows' destruction posted the quit, and the trader typed.
    const HWND window = Make(nullptr, WS_OVERLAPPED);
    PostMessageW(window, WM_KEYDOWN, 'B', 0);
    PostQuitMessage(0);
    DiscardInput();
    // A peek hands out a posted quit whatever its range, so the quit is taken first.
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the panel's loop still ends";
    EXPECT_FALSE(PeekMessageW(&message, window, 0, 0, PM_REMOVE | PM_NOYIELD)) << "the typing went";
    DestroyWindow(window);
}

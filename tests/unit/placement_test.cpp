// The pin's way back into the chart, with windows of this process standing in for the terminal's; the
// input thrown away after a command, and the freeze's windows under a lack of memory.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

#include "app/input_freeze.h"
#include "app/placement.h"
#include "tests/unit/allocation_limit.h"

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
    const HWND root = Make(nullptr, WS_OVERLAPPED);
    const HWND chart = Make(root, WS_CHILD);
    const HWND panel = Make(root, WS_CHILD);
    const HWND pin = Make(panel, WS_CHILD);
    const POINT origin = {6, 20};

    MovePanelBetweenChartAndTop(pin, chart, GetCurrentProcessId() + 4, origin);
    EXPECT_EQ(GetParent(panel), root) << "not into another process's window";

    MovePanelBetweenChartAndTop(pin, chart, GetCurrentProcessId(), origin);
    EXPECT_EQ(GetParent(panel), chart) << "back into the terminal's chart";
    MovePanelBetweenChartAndTop(pin, chart, GetCurrentProcessId(), {30, 40});
    EXPECT_EQ(GetParent(panel), root) << "and out again";
    RECT place;
    GetWindowRect(panel, &place);
    MapWindowPoints(nullptr, root, reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.left, 30);
    EXPECT_EQ(place.top, 40) << "at the origin it was given";
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

TEST(InputFreeze, LackOfMemoryLeavesNoWindowDisabledForGood)
{
    // The windows the freeze disables are the ones it can enable again: one it could not note stays enabled.
    const HWND panel = Make(nullptr, WS_OVERLAPPED | WS_VISIBLE), other = Make(nullptr, WS_OVERLAPPED | WS_VISIBLE);
    std::vector<HWND> disabled;
    {
        const AllocationLimit limit(1);
        disabled = DisableInput(panel);
    }
    for (const HWND window : {panel, other})
        EXPECT_TRUE(IsWindowEnabled(window) || std::find(disabled.begin(), disabled.end(), window) != disabled.end());
    for (const HWND window : disabled)
        EnableWindow(window, TRUE);
    DestroyWindow(other);
    DestroyWindow(panel);
}

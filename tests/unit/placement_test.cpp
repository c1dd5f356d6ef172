// The pin's way back into the chart, with windows of this process standing in for the terminal's; the
// input thrown away after a command.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/input_freeze.h"
#include "app/main_window.h"
#include "app/panel_procedures.h"
#include "res/resource.h"
#include "tests/support/harness.h"
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

namespace {

// Watches the Executing dialog from the thread's own timer (its modal loop dispatches it): once the dialog
// polls, every allocation fails until one of its ticks has run under the limit; then the trader cancels once
// a tick has drawn the progress again.
struct ThrowingTicks {
    enum { waiting, starved, recovering, cancelled } phase = waiting;
    int stepBefore = 0;
    static ThrowingTicks* watched;
    static void CALLBACK Watch(HWND, UINT, UINT_PTR, DWORD)
    {
        ThrowingTicks& self = *watched;
        const CMainWindow& main = GetMainWindow();
        const HWND dialog = main.executingDialog;
        if (!dialog)
            return;
        wchar_t shown[64] = {};
        GetDlgItemTextW(dialog, IDC_PROGRESS_LINE, shown, 64);
        switch (self.phase) {
        case waiting:
            self.stepBefore = main.executingStep;
            self.phase = starved;
            failAllocationsFrom = 1;
            break;
        case starved:
            if (main.executingStep != self.stepBefore) {  // a tick ran, and its text could not be made
                failAllocationsFrom = 0;
                self.phase = recovering;
            }
            break;
        case recovering:
            if (main.executingText() == shown) {  // a later tick drew it: the dialog still polls
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                self.phase = cancelled;
            }
            break;
        case cancelled:
            break;
        }
    }
};
ThrowingTicks* ThrowingTicks::watched = nullptr;

}  // namespace

TEST(TradeCommand, AHandlerThatThrowsDuringTheExecutingDialogLeavesTheCommandWhole)
{
    // The panel in this process, its order path with no endpoint chosen: the order fails at once, the
    // Executing dialog waits, and its timer meets a lack of memory.
    const std::wstring folder = harness::FreshTempPath(L"throwing-ticks-");
    SetEnvironmentVariableW(L"PANEL_JOURNAL_FOLDER", folder.c_str());
    ASSERT_TRUE(MakeMainWindow());
    SetEnvironmentVariableW(L"PANEL_JOURNAL_FOLDER", nullptr);
    CMainWindow& main = GetMainWindow();
    main.hInstance = GetModuleHandleW(nullptr);
    main.hWnd = Make(nullptr, WS_OVERLAPPED | WS_VISIBLE);
    ThrowingTicks ticks;
    ThrowingTicks::watched = &ticks;
    const UINT_PTR watch = SetTimer(nullptr, 0, 50, ThrowingTicks::Watch);
    ASSERT_NE(watch, 0u);
    main.tradeCommand(Buy);
    KillTimer(nullptr, watch);
    failAllocationsFrom = 0;
    EXPECT_EQ(ticks.phase, ThrowingTicks::cancelled) << "the dialog ended otherwise than by the trader";
    EXPECT_FALSE(main.tradeCommandRunning) << "later presses would be refused";
    EXPECT_TRUE(IsWindowEnabled(main.hWnd));
    const std::vector<std::string> lines = harness::JournalLinesOfToday(folder);
    const auto has = [&](const std::string& event) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(event) != line.npos; });
    };
    EXPECT_TRUE(has("expert BUY cancelled by the trader"));
    EXPECT_TRUE(has("command FINISH not answered")) << "the Finish followed";
    DestroyWindow(main.hWnd);
}

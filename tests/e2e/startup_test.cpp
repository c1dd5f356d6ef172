// The real panel started the way the terminal's expert starts it: attachment to the chart window, the
// command-line rule, standalone mode, placement and the end of the panel.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tests/support/harness.h"

using namespace harness;

namespace {

constexpr DWORD panelChildStyle = 0x56000000;  // WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN
constexpr DWORD standaloneStyleBits = 0x00CC0000;  // WS_CAPTION | WS_SYSMENU | WS_THICKFRAME

LONG Style(HWND window) { return GetWindowLongW(window, GWL_STYLE); }
LONG ExStyle(HWND window) { return GetWindowLongW(window, GWL_EXSTYLE); }

std::wstring Decimal(HWND window) { return ChartHandleText(window); }

// The panel's rectangle in the client coordinates of the chart's parent.
RECT RectInChartParent(HWND panel, HWND chart)
{
    RECT rect;
    GetWindowRect(panel, &rect);
    MapWindowPoints(nullptr, GetParent(chart), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ExpectChildOfChart(HWND panel, HWND chart)
{
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(GetParent(panel), chart);
    const RECT rect = RectInChartParent(panel, chart);
    EXPECT_EQ(rect.left, 6);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right - rect.left, 158);
    EXPECT_EQ(rect.bottom - rect.top, 189);
    EXPECT_EQ(static_cast<DWORD>(Style(panel)), panelChildStyle);
    // The system adds WS_EX_WINDOWEDGE to a WS_EX_DLGMODALFRAME window; the panel asks for the frame alone.
    EXPECT_EQ(ExStyle(panel) & ~WS_EX_WINDOWEDGE, WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(Style(chart) & WS_CLIPCHILDREN);
}

// A command line that names no window: the box shows the whole command line, then the panel comes up
// on its own as a tool window at (6, 20) of the screen.
void ExpectStandalone(PanelRun& panel, const std::wstring& commandLine)
{
    const HWND box = WaitForMessageBox(panel.processId(), L"Not a window handle");
    ASSERT_NE(box, nullptr) << "no \"Not a window handle\" box";
    EXPECT_EQ(MessageBoxText(box), commandLine);
    EXPECT_EQ(panel.WaitForMainWindow(500), nullptr) << "the panel must wait for the box to be closed";
    DismissMessageBox(box);

    const HWND window = panel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
    EXPECT_EQ(static_cast<DWORD>(Style(window)) & standaloneStyleBits, standaloneStyleBits);
    EXPECT_FALSE(Style(window) & WS_CHILD);
    EXPECT_TRUE(ExStyle(window) & WS_EX_TOOLWINDOW);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 6);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right - rect.left, 158);
    EXPECT_EQ(rect.bottom - rect.top, 189);
}

}  // namespace

class ChildModeTest : public testing::TestWithParam<POINT> {};

TEST_P(ChildModeTest, SitsAtItsPlaceInTheChartsParentWhateverTheChartsOffset)
{
    TerminalLayout layout;
    layout.chartOffset = GetParam();
    TerminalHost terminal(layout);
    ASSERT_FALSE(Style(terminal.chart()) & WS_CLIPCHILDREN);

    PanelRun panel(Decimal(terminal.chart()));
    ExpectChildOfChart(panel.WaitForMainWindow(), terminal.chart());
    wchar_t className[32] = {};
    GetClassNameW(panel.WaitForMainWindow(), className, 32);
    EXPECT_STREQ(className, L"PELLANTIX");
}

INSTANTIATE_TEST_SUITE_P(ChartOffsets, ChildModeTest, testing::Values(POINT{0, 22}, POINT{37, 53}, POINT{0, 0}),
                         [](const testing::TestParamInfo<POINT>& info) {
                             return "At" + std::to_string(info.param.x) + "x" + std::to_string(info.param.y);
                         });

TEST(CommandLine, HandleFollowedByOtherWordsOrAfterBlanksStillNamesTheChart)
{
    TerminalHost terminal;
    for (const std::wstring& line : {Decimal(terminal.chart()) + L" --symbol EURUSD 42",
                                     L"   \t" + Decimal(terminal.chart())}) {
        SCOPED_TRACE(testing::Message() << "command line: " << std::string(line.begin(), line.end()));
        PanelRun panel(line);
        ExpectChildOfChart(panel.WaitForMainWindow(), terminal.chart());
        EXPECT_EQ(WaitForMessageBox(panel.processId(), L"Not a window handle", 0), nullptr);
    }
}

TEST(CommandLine, ProgramPathFirstNamesNoWindow)
{
    TerminalHost terminal;
    const std::wstring line = L"\"" + ProgramPath(L"panel.exe") + L"\" " + Decimal(terminal.chart());
    PanelRun panel(line);
    ExpectStandalone(panel, line);
}

TEST(CommandLine, AProgramThatCannotStartSaysWhy)
{
    // A test that cannot start the panel fails with the system's reason, not only with the program's name.
    try {
        PanelRun missing(L"1", L"no-such-panel.exe");
        ADD_FAILURE() << "a missing program started";
    } catch (const std::runtime_error& failure) {
        EXPECT_NE(std::string(failure.what()).find("no-such-panel.exe cannot be started: error 2 "), std::string::npos)
            << failure.what();
    }
}

TEST(CommandLine, HexadecimalHandleNamesNoWindow)
{
    TerminalHost terminal;
    wchar_t hex[32];
    wsprintfW(hex, L"0x%lx", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(terminal.chart())));
    PanelRun panel(hex);
    ExpectStandalone(panel, hex);
}

TEST(CommandLine, NumberBeyondTheRangeSaturatesInsteadOfWrapping)
{
    // Taken modulo 2^32 this number would be the chart's handle; saturated it names no window.
    TerminalHost terminal;
    const auto handle = static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(terminal.chart()));
    const std::wstring line = std::to_wstring((1ULL << 32) + handle);
    PanelRun panel(line);
    ExpectStandalone(panel, line);
}

TEST(Attachment, ChartKeepsClipChildrenAfterThePanelHasGone)
{
    TerminalHost terminal;
    PanelRun panel(Decimal(terminal.chart()));
    const HWND window = panel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(panel.WaitForExit(), 0u);
    EXPECT_TRUE(Style(terminal.chart()) & WS_CLIPCHILDREN);
}

TEST(Attachment, ClosingTheChartEndsThePanel)
{
    TerminalHost terminal;
    PanelRun panel(Decimal(terminal.chart()));
    ASSERT_NE(panel.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(terminal.ui().Run([&] { DestroyWindow(terminal.chart()); }));
    EXPECT_EQ(panel.WaitForExit(), 0u);
}

TEST(Attachment, TopLevelWindowGetsThePanelAsItsChild)
{
    UiThread ui;
    const HWND topLevel = CreateTestWindow(ui, {});
    ASSERT_NE(topLevel, nullptr);
    PanelRun panel(Decimal(topLevel));
    const HWND window = panel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetParent(window), topLevel);
    EXPECT_TRUE(Style(topLevel) & WS_CLIPCHILDREN);
    // With no parent of its own, the chart's own client area is the reference.
    const RECT rect = RectInParent(window);
    EXPECT_EQ(rect.left, 6);
    EXPECT_EQ(rect.top, 20);
    ui.Run([&] { DestroyWindow(topLevel); });
}

TEST(Attachment, ChartClosingWhileThePanelAttachesEndsItWithAReport)
{
    // The chart goes away as soon as the panel changes its style: the panel's next step on it fails.
    UiThread ui;
    TestWindowOptions options;
    options.destroyOnStyleChange = true;
    const HWND chart = CreateTestWindow(ui, options);
    ASSERT_NE(chart, nullptr);

    PanelRun panel(Decimal(chart));
    const HWND box = WaitForMessageBox(panel.processId(), L"Error");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box),
              L"ResetWindowPos failed with error 1400: " + SystemErrorText(ERROR_INVALID_WINDOW_HANDLE));
    DismissMessageBox(box);
    EXPECT_EQ(panel.WaitForExit(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

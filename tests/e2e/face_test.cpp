// The panel's children in the chart, their shapes, and what a trader's mouse does to them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tools/terminal/expert.h"

using namespace harness;

namespace {

struct ExpectedChild {
    const wchar_t* className;
    RECT rect;  // x, y, width, height in the parent's client area; height 0: not compared
};

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// Every expected child is there once, with its class and rectangle, and there are no others.
void ExpectChildren(HWND parent, const std::vector<ExpectedChild>& expected)
{
    std::vector<HWND> children = Children(parent);
    EXPECT_EQ(children.size(), expected.size());
    for (const ExpectedChild& wanted : expected) {
        const RECT& r = wanted.rect;
        bool found = false;
        for (HWND child : children) {
            const RECT actual = RectInParent(child);
            if (ClassOf(child) == wanted.className && actual.left == r.left && actual.top == r.top &&
                actual.right - actual.left == r.right && (r.bottom == 0 || actual.bottom - actual.top == r.bottom))
                found = true;
        }
        EXPECT_TRUE(found) << "no " << std::string(wanted.className, wanted.className + wcslen(wanted.className)) << " at "
                           << r.left << "," << r.top << " " << r.right << "x" << r.bottom;
    }
}

HWND Child(HWND parent, const wchar_t* className, int index = 0)
{
    HWND child = nullptr;
    for (int i = 0; i <= index; ++i)
        child = FindWindowExW(parent, child, className, nullptr);
    return child;
}

std::wstring At(POINT point) { return std::to_wstring(point.x) + L" " + std::to_wstring(point.y); }

// The button with this caption among the client area's buttons.
HWND ButtonWithText(HWND clientArea, const std::wstring& prefix)
{
    for (HWND child : Children(clientArea)) {
        wchar_t text[128] = {};
        DWORD_PTR result = 0;
        SendMessageTimeoutW(child, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000, &result);
        if (ClassOf(child) == L"Button" && std::wstring(text).rfind(prefix, 0) == 0)
            return child;
    }
    return nullptr;
}

struct AttachedPanel {
    AttachedPanel() : panel(ChartHandleText(terminal.chart()))
    {
        ParkMouse();
        window = panel.WaitForMainWindow();
        client = window ? Child(window, L"CLIENT_AREA") : nullptr;
    }
    TerminalHost terminal;
    PanelRun panel;
    HWND window = nullptr;
    HWND client = nullptr;
};

}  // namespace

TEST(Face, SeventeenChildrenSitWhereTheLayoutPutsThem)
{
    AttachedPanel attached;
    ASSERT_NE(attached.client, nullptr);
    ExpectChildren(attached.window, {{L"CLOSE_BUTTON", {136, 0, 20, 15}},
                                     {L"PIN_BUTTON", {115, 0, 20, 15}},
                                     {L"CLIENT_AREA", {0, 16, 153, 169}}});
    ExpectChildren(attached.client, {{L"SPREAD_WINDOW", {54, 1, 45, 10}},
                                     {L"SELL_BUTTON", {1, 1, 75, 58}},
                                     {L"BUY_BUTTON", {77, 1, 75, 58}},
                                     {L"ComboBox", {41, 38, 71, 0}},
                                     {L"ButtonLabel", {1, 60, 24, 24}},
                                     {L"ComboBox", {26, 61, 49, 0}},
                                     {L"ButtonLabel", {77, 60, 24, 24}},
                                     {L"ComboBox", {102, 61, 49, 0}},
                                     {L"Button", {1, 85, 151, 20}},
                                     {L"Button", {1, 106, 74, 24}},
                                     {L"Button", {77, 106, 74, 24}},
                                     {L"Button", {1, 131, 74, 24}},
                                     {L"Button", {77, 131, 74, 24}},
                                     {L"ButtonLabel", {1, 156, 150, 10}}});
}

TEST(Face, CombosStartAtTheirFirstItemsAndTakeTypedText)
{
    AttachedPanel attached;
    ASSERT_NE(attached.client, nullptr);
    const auto text = [](HWND window) {
        wchar_t buffer[128] = {};
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, 2000, &result);
        return std::wstring(buffer);
    };
    const HWND volume = Child(attached.client, L"ComboBox", 0);
    ASSERT_NE(volume, nullptr);
    std::vector<std::wstring> texts;
    for (HWND combo : Children(attached.client))
        if (ClassOf(combo) == L"ComboBox")
            texts.push_back(text(combo));
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"0", L"0", L"0.01"}));

    // A trader types into the volume list's edit field.
    RECT rect = RectInParent(volume);
    const POINT field = OnScreen(attached.client, rect.left + 20, rect.top + 8);
    ASSERT_TRUE(Xdotool(L"mousemove " + At(field) + L" click --repeat 2 1 key ctrl+a type 0.15"));
    EXPECT_TRUE(WaitUntil([&] { return text(volume) == L"0.15"; }, 3000)) << std::string(text(volume).begin(), text(volume).end());
}

TEST(Face, NotchesLetClicksThroughToTheWindowsBeneath)
{
    AttachedPanel attached;
    ASSERT_NE(attached.client, nullptr);
    const HWND sell = Child(attached.client, L"SELL_BUTTON");
    const HWND buy = Child(attached.client, L"BUY_BUTTON");
    const HWND spread = Child(attached.client, L"SPREAD_WINDOW");
    // Points in the client area's coordinates.
    const auto windowAt = [&](int x, int y) { return WindowFromPoint(OnScreen(attached.client, x, y)); };
    EXPECT_EQ(windowAt(30, 30), sell);
    EXPECT_EQ(windowAt(120, 30), buy);
    EXPECT_EQ(windowAt(70, 5), spread) << "SELL's top notch";
    EXPECT_EQ(windowAt(90, 5), spread) << "BUY's top notch";
    EXPECT_EQ(windowAt(52, 5), sell) << "left of the notch";
    EXPECT_EQ(windowAt(40, 55), attached.client) << "SELL's bottom notch, left of the volume list";
    // BUY's bottom notch: the volume list (its edit field) lies there.
    HWND beneath = windowAt(100, 50);
    if (ClassOf(beneath) == L"Edit")
        beneath = GetParent(beneath);
    EXPECT_EQ(ClassOf(beneath), L"ComboBox");
    EXPECT_EQ(RectInParent(beneath).left, 41);
    EXPECT_EQ(windowAt(113, 57), buy) << "right of BUY's bottom notch";
}

TEST(Face, FieldsIgnoreTheMouseWhileCloseAllIsPushedByIt)
{
    AttachedPanel attached;
    ASSERT_NE(attached.client, nullptr);
    // The fields get their texts with the first refresh.
    HWND volumeField = nullptr;
    WaitUntil([&] { return (volumeField = ButtonWithText(attached.client, L"Vol:")) != nullptr; }, 2000);
    const HWND closeAll = ButtonWithText(attached.client, L"Close All");
    ASSERT_NE(volumeField, nullptr);
    ASSERT_NE(closeAll, nullptr);
    const auto pushed = [](HWND button) {
        DWORD_PTR state = 0;
        SendMessageTimeoutW(button, BM_GETSTATE, 0, 0, SMTO_NORMAL, 2000, &state);
        return (state & BST_PUSHED) != 0;
    };

    ASSERT_TRUE(Xdotool(L"mousemove " + At(OnScreen(volumeField, 30, 12)) + L" mousedown 1"));
    Sleep(200);
    EXPECT_FALSE(pushed(volumeField));
    ASSERT_TRUE(Xdotool(L"mouseup 1"));

    ASSERT_TRUE(Xdotool(L"mousemove " + At(OnScreen(closeAll, 30, 12)) + L" mousedown 1"));
    EXPECT_TRUE(WaitUntil([&] { return pushed(closeAll); }, 2000));
    ASSERT_TRUE(Xdotool(L"mousemove 1270 1010 mouseup 1"));  // released away: no command
}

TEST(Face, FieldsShowVolumeProfitAndBreakEvenOfTheDocument)
{
    AttachedPanel attached;
    ASSERT_NE(attached.client, nullptr);
    StandInExpert expert(attached.panel.processId(), "EURUSD");
    // The field's text: caption, spaces, value; the value as shown.
    const auto value = [&](const wchar_t* caption) {
        const HWND field = ButtonWithText(attached.client, caption);
        if (!field)
            return std::wstring(L"<no field>");
        wchar_t text[128] = {};
        DWORD_PTR result = 0;
        SendMessageTimeoutW(field, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000, &result);
        const std::wstring shown = text;
        const size_t start = shown.find_first_not_of(L' ', wcslen(caption));
        return start == std::wstring::npos ? std::wstring() : shown.substr(start);
    };
    const auto shows = [&](const wchar_t* caption, const std::wstring& expected) {
        return WaitUntil([&] { return value(caption) == expected; }, 2000);
    };

    EXPECT_TRUE(shows(L"Vol:", L"0.000"));
    EXPECT_TRUE(shows(L"P/L:", L"0.00"));
    EXPECT_TRUE(shows(L"BE:", L"N/A"));

    expert.Publish("<Symbol Name=\"EURUSD\" Digits=\"5\" Vol=\"0.1\" Profit=\"-12.5\" BEPrice=\"1.2345\"/>");
    EXPECT_TRUE(shows(L"Vol:", L"0.100"));
    EXPECT_TRUE(shows(L"P/L:", L"-12.50"));
    EXPECT_TRUE(shows(L"BE:", L"1.23450"));

    expert.Publish("<Symbol Name=\"EURUSD\" Digits=\"0\" BEPrice=\"1.25\"/>");
    EXPECT_TRUE(shows(L"BE:", L"1"));
    expert.Publish("<Symbol Name=\"EURUSD\" Digits=\"-2147483648\" Vol=\"1e300\" BEPrice=\"1.25\"/>");
    EXPECT_TRUE(shows(L"BE:", L"1")) << "a negative Digits shows no decimals";
    EXPECT_TRUE(attached.panel.process().running());
}

TEST(Placement, PinMovesThePanelOutAndBackToItsPlaceInTheChart)
{
    AttachedPanel attached;
    ASSERT_NE(attached.window, nullptr);
    const HWND pin = Child(attached.window, L"PIN_BUTTON");
    ASSERT_NE(pin, nullptr);
    const RECT start = RectInParent(attached.window);

    ASSERT_TRUE(Xdotool(L"mousemove " + At(OnScreen(pin, 10, 7)) + L" click 1"));
    ASSERT_TRUE(WaitUntil([&] { return GetParent(attached.window) == attached.terminal.frame(); }, 3000));
    const RECT out = RectInParent(attached.window);
    EXPECT_EQ(out.left, start.left) << "the origin position, now in the top-level window";
    EXPECT_EQ(out.top, start.top);

    ASSERT_TRUE(Xdotool(L"mousemove " + At(OnScreen(pin, 10, 7)) + L" click 1"));
    ASSERT_TRUE(WaitUntil([&] { return GetParent(attached.window) == attached.terminal.chart(); }, 3000));
    const RECT back = RectInParent(attached.window);
    EXPECT_EQ(back.left, 6);
    EXPECT_EQ(back.top, 20);
    EXPECT_EQ(back.right - back.left, 158);
}

TEST(Placement, PinDoesNothingOnceTheChartIsGone)
{
    AttachedPanel attached;
    ASSERT_NE(attached.window, nullptr);
    const HWND pin = Child(attached.window, L"PIN_BUTTON");
    ASSERT_TRUE(Xdotool(L"mousemove " + At(OnScreen(pin, 10, 7)) + L" click 1"));
    ASSERT_TRUE(WaitUntil([&] { return GetParent(attached.window) == attached.terminal.frame(); }, 3000));
    ASSERT_TRUE(attached.terminal.ui().Run([&] { DestroyWindow(attached.terminal.chart()); }));
    ASSERT_TRUE(Xdotool(L"mousemove " + At(OnScreen(pin, 10, 7)) + L" click 1"));
    Sleep(300);
    EXPECT_TRUE(attached.panel.process().running());
    EXPECT_EQ(GetParent(attached.window), attached.terminal.frame());
}

TEST(Placement, PinOfAPanelOnItsOwnDoesNothing)
{
    ParkMouse();
    PanelRun panel(L"standalone");
    const HWND window = StartStandalone(panel);
    ASSERT_NE(window, nullptr);
    RECT before;
    GetWindowRect(window, &before);
    ASSERT_TRUE(Xdotool(L"mousemove " + At(OnScreen(Child(window, L"PIN_BUTTON"), 10, 7)) + L" click 1"));
    Sleep(300);
    EXPECT_TRUE(panel.process().running());
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
    RECT after;
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
}

TEST(Placement, CloseButtonEndsThePanelOnReleaseOverItOnly)
{
    AttachedPanel attached;
    ASSERT_NE(attached.window, nullptr);
    const POINT close = OnScreen(Child(attached.window, L"CLOSE_BUTTON"), 10, 7);

    // Pressed on the button, released over the symbol strip: the panel stays.
    ASSERT_TRUE(Xdotool(L"mousemove " + At(close) + L" mousedown 1 mousemove " +
                        At(OnScreen(attached.window, 40, 8)) + L" mouseup 1"));
    Sleep(300);
    EXPECT_TRUE(attached.panel.process().running());

    ASSERT_TRUE(Xdotool(L"mousemove " + At(close) + L" mousedown 1"));
    Sleep(300);
    EXPECT_TRUE(attached.panel.process().running()) << "the press alone does not end it";
    ASSERT_TRUE(Xdotool(L"mouseup 1"));
    EXPECT_EQ(attached.panel.WaitForExit(5000), 0u);
}

#include "tests/support/trading.h"

namespace harness {

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window)
{
    wchar_t text[512] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000, &result);
    return text;
}

HWND ClientChild(HWND client, const wchar_t* className, int left)
{
    for (HWND child = GetWindow(client, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == className && RectInParent(child).left == left)
            return child;
    return nullptr;
}

void Click(HWND window, int x, int y)
{
    // A window X does not show yet would lose the click; the test then fails on what did not happen.
    WaitUntilOnScreen(window);
    POINT point = {x, y};
    ClientToScreen(window, &point);
    Xdotool(L"mousemove " + std::to_wstring(point.x) + L" " + std::to_wstring(point.y) + L" click 1");
}

void ClickCentre(HWND window)
{
    RECT rect;
    GetClientRect(window, &rect);
    Click(window, rect.right / 2, rect.bottom / 2);
}

void TypeInto(HWND combo, const std::wstring& text)
{
    Click(combo, 15, 8);
    Xdotool(L"key ctrl+a type " + text);
}

Trading::Trading(const std::string& primary, const std::string& secondary, DWORD delayMs, const std::wstring& program,
                 const std::string& serviceAlsoOn)
    : service(primary, secondary, serviceAlsoOn), panel(ChartHandleText(terminal.chart()), program),
      expert(panel.processId(), delayMs)
{
    ParkMouse();
    window = panel.WaitForMainWindow();
    if (!window)
        return;
    client = FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr);
    buy = FindWindowExW(client, nullptr, L"BUY_BUTTON", nullptr);
    sell = FindWindowExW(client, nullptr, L"SELL_BUTTON", nullptr);
    volume = ClientChild(client, L"ComboBox", 41);
    stopLoss = ClientChild(client, L"ComboBox", 26);
    takeProfit = ClientChild(client, L"ComboBox", 102);
    for (HWND child = GetWindow(client, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != L"Button")
            continue;
        if (RectInParent(child).top == 85)
            checkBox = child;
        else if (TextOf(child) == L"Close All")
            closeAll = child;
    }
    // The document has been read once the fields show values.
    WaitUntil([&] { return !Field(L"BE:").empty(); }, 3000);
    Sleep(300);
}

std::wstring Trading::Field(const std::wstring& caption) const
{
    for (HWND child = GetWindow(client, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring text = TextOf(child);
        if (ClassOf(child) == L"Button" && text.rfind(caption, 0) == 0)
            return text;
    }
    return {};
}

HWND Trading::Dialog(const wchar_t* caption, DWORD timeoutMs) const
{
    return WaitForMessageBox(panel.processId(), caption, timeoutMs);
}

HWND Trading::Buy(DWORD timeoutMs) const
{
    Click(buy, 40, 25);
    return Dialog(L"Executing", timeoutMs);
}

bool Trading::DialogGone(const wchar_t* caption, DWORD timeoutMs) const
{
    return WaitUntil([&] { return !WaitForMessageBox(panel.processId(), caption, 0); }, timeoutMs);
}

std::string Trading::BuyThatFails(DWORD timeoutMs)
{
    constexpr int errorLine = 1018;
    expert.SetExecuting(false);
    expert.WriteOrders("<Order Type=\"NONE\" Id=\"earlier\"/>");
    const HWND dialog = Buy(timeoutMs);
    if (!dialog)
        return "no Executing dialog";
    std::string wrong;
    if (const std::string left = expert.Orders(); !left.empty())
        wrong = "the expert found \"" + left + "\"; ";
    if (!WaitUntil([&] { return TextOf(GetDlgItem(dialog, errorLine)) == L"Unknown Error."; }, 3000))
        wrong += "no \"Unknown Error.\"; ";
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    if (!DialogGone(L"Executing", timeoutMs + 2000))
        wrong += "the dialog stayed after Cancel";
    return wrong;
}

std::vector<LoggedRequest> Trading::RequestsOnceThereAre(size_t count, DWORD timeoutMs) const
{
    WaitUntil([&] { return service.Requests().size() >= count; }, timeoutMs);
    return service.Requests();
}

}  // namespace harness

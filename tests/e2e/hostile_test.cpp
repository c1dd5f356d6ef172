// The panel under hostile input from the expert's symbol area: it stays alive and responsive, and a
// document that does not parse leaves the last good values on show.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tools/terminal/expert.h"

using namespace harness;

namespace {

std::wstring TextOf(HWND window)
{
    wchar_t text[512] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000, &result);
    return text;
}

std::wstring Field(HWND client, const std::wstring& caption)
{
    wchar_t name[32];
    for (HWND child = GetWindow(client, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        GetClassNameW(child, name, 32);
        const std::wstring text = TextOf(child);
        if (std::wstring(name) == L"Button" && text.rfind(caption, 0) == 0)
            return text.substr(text.find_first_not_of(L' ', caption.size()));
    }
    return {};
}

std::vector<std::string> HostileDocuments()
{
    const std::string name400(400, 'N');
    return {
        "<S Name=\"EURUSD\" Digits=\"2147483647\" Ask=\"1.2\" Bid=\"1.1\" BEPrice=\"1.5\"/>",
        "<S Name=\"EURUSD\" Digits=\"-2147483648\" Ask=\"1.2\" Bid=\"1.1\" BEPrice=\"1.5\"/>",
        "<S Name=\"EURUSD\" Digits=\"5\" Ask=\"nan\" Bid=\"inf\" Vol=\"1e400\" Profit=\"-1e400\" BEPrice=\"1e308\"/>",
        "<S Name=\"EURUSD\" Digits=\"3\" Ask=\"1e300\" Bid=\"-1e300\" Vol=\"1e300\" BEPrice=\"-1e300\"/>",
        "<S Name=\"" + name400 + "\" Company=\"" + name400 + "\" Digits=\"5\"/>",
        "<S Name=\"&#x4E2D;&#x6587;&amp;&lt;&gt;&quot;\" Company=\"\xC0\xE9\xFF\" Digits=\"4\"/>",
        "<!DOCTYPE S [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
        "<S Name=\"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"/>",
        "<S Name=\"EURUSD\" Digits=\"5\" Ask=\"1.2",
        std::string(500, '<'),
        "<S Name=\"&unknown;\"/>",
    };
}

}  // namespace

TEST(Hostile, TenThousandBadSymbolDocumentsLeaveThePanelWorking)
{
    ParkMouse();
    TerminalHost terminal;
    PanelRun panel(ChartHandleText(terminal.chart()));
    StandInExpert expert(panel.processId(), "EURUSD");
    const HWND window = panel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const HWND client = FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr);

    const std::vector<std::string> crafted = HostileDocuments();
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 10000; ++i) {
        if (i % 3 == 0) {
            std::string noise(1 + byte(random) * 2, '\0');
            for (char& c : noise)
                c = static_cast<char>(byte(random));
            expert.Publish(noise);
        } else {
            expert.Publish(crafted[i % crafted.size()]);
        }
        if (i % 500 == 0) {
            DWORD_PTR result = 0;
            ASSERT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result))
                << "the panel stopped answering after " << i << " documents";
        }
        Sleep(1);
    }
    EXPECT_TRUE(panel.process().running()) << "exit code " << panel.process().exitCode();
    EXPECT_EQ(WaitForMessageBox(panel.processId(), L"Error", 0), nullptr);

    // A good document shows; a cut one after it changes nothing.
    expert.Publish("<S Name=\"EURUSD\" Digits=\"5\" Vol=\"0.25\" Profit=\"3.5\" BEPrice=\"1.08123\"/>");
    EXPECT_TRUE(WaitUntil([&] { return Field(client, L"BE:") == L"1.08123"; }, 3000)) << std::string(Field(client, L"BE:").begin(), Field(client, L"BE:").end());
    expert.Publish("<S Name=\"EURUSD\" Digits=\"5\" Vol=\"9.99\" BEPrice=\"1.2");
    Sleep(400);
    EXPECT_EQ(Field(client, L"BE:"), L"1.08123");
    EXPECT_EQ(Field(client, L"Vol:"), L"0.250");
    EXPECT_EQ(Field(client, L"P/L:"), L"3.50");
}

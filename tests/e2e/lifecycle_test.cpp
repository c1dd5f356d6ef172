// The panel among misbehaving neighbours: an expert that scribbles over the order area, a chart that
// goes away while an order is on the wire, no expert at all, and a service that is down when the panel
// starts. Every press still gives exactly one order and one Finish, and the panel goes on.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/trading.h"

using namespace harness;

namespace {

constexpr int errorLine = 1018;

// What a broken expert may leave in the order area while the panel waits. None of them marks the
// command done, and no two of them tear into the done mark either.
std::vector<std::string> HostileOrderDocuments(const std::string& command)
{
    return {
        std::string(500, 'x'),  // no terminator
        "<Order Type=\"none\"/>",
        "<Order Error=\"no type at all\"/>",
        "<Order Type=\"\" Error=\"" + std::string(400, 'E') + "\"/>",
        "<Order Type=\"BUY\" Error=\"&lt;b&gt; &#x4E2D; \xE9\"/>",
        "<!DOCTYPE Order [<!ENTITY n \"NO\">]><Order Type=\"&n;NE\"/>",
        command.substr(0, command.size() / 2),
        command,
        "",
    };
}

bool Answers(HWND window, DWORD timeoutMs = 2000)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

}  // namespace

TEST(OrderArea, ScribblingExpertNeitherEndsNorBreaksTheWait)
{
    Trading trading;
    trading.expert.SetExecuting(false);
    const HWND dialog = trading.Buy();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return trading.expert.Orders().rfind("<Order Type=\"BUY\"", 0) == 0; }, 5000));
    const std::vector<std::string> documents = HostileOrderDocuments(trading.expert.Orders());

    // As fast as the expert can write, for six of the dialog's half-second looks, so some of its reads
    // meet a document being rewritten.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; GetTickCount64() - start < 3000; ++i) {
        if (i % 4 == 0) {
            std::string noise(1 + byte(random), '\0');
            for (char& c : noise)
                c = static_cast<char>(byte(random));
            trading.expert.WriteOrders(noise);
        } else {
            trading.expert.WriteOrders(documents[i % documents.size()]);
        }
        if (i % 1000 == 0) {
            ASSERT_TRUE(Answers(dialog)) << "the dialog stopped answering";
        }
    }
    EXPECT_TRUE(IsWindow(dialog)) << "nothing but \"NONE\" ends the wait";
    EXPECT_TRUE(trading.panel.process().running());
    EXPECT_EQ(trading.service.Requests().size(), 1u) << "no Finish while the wait goes on";

    trading.expert.WriteOrders("<Order Type=\"BUY\" Error=\"Not enough money\"/>");
    EXPECT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, errorLine)) == L"Not enough money"; }, 1500));
    trading.expert.WriteOrders("<Order Type=\"NONE\"/>");
    EXPECT_TRUE(trading.DialogGone(L"Executing", 1500));
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, 0);
    EXPECT_EQ(requests[1].type, 4);
    EXPECT_EQ(WaitForMessageBox(trading.panel.processId(), L"Error", 0), nullptr);
}

TEST(Lifecycle, ChartClosingWhileAnOrderIsOnTheWireEndsThePanelOnceTheCallsAreDone)
{
    // The service answers after 4 s. The exchange holds no window of the panel, so the terminal's closing
    // of the chart, which waits for the child's thread, is not held by it.
    Trading trading("late", "late");
    Click(trading.buy, 40, 25);
    ASSERT_EQ(trading.RequestsOnceThereAre(1).size(), 1u);
    ULONGLONG closingMs = 0;
    ASSERT_TRUE(trading.terminal.ui().Run([&] {
        const ULONGLONG start = GetTickCount64();
        DestroyWindow(trading.terminal.chart());
        closingMs = GetTickCount64() - start;
    }));
    EXPECT_LT(closingMs, 200u);
    // The order was taken by the service, so the expert still gets it; the Finish follows; then the end.
    EXPECT_EQ(trading.panel.WaitForExit(15000), 0u);
    EXPECT_EQ(WaitForMessageBox(trading.panel.processId(), L"Error", 0), nullptr);
    const std::vector<LoggedRequest> requests = trading.service.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, 0);
    EXPECT_EQ(requests[1].type, 4);
    EXPECT_TRUE(WaitUntil([&] { return trading.expert.CurrentPosition().volume > 0.0; }, 3000));
}

TEST(Lifecycle, WithoutAnExpertTheOrderWaitsForTheTradersCancel)
{
    ParkMouse();
    TerminalHost terminal;
    BrokerConnection broker;
    ServiceRun service;
    PanelRun panel(ChartHandleText(terminal.chart()));
    const HWND window = panel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const HWND client = FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr);
    Sleep(500);
    ASSERT_TRUE(Answers(window));

    Click(FindWindowExW(client, nullptr, L"BUY_BUTTON", nullptr), 40, 25);
    const HWND dialog = WaitForMessageBox(panel.processId(), L"Executing");
    ASSERT_NE(dialog, nullptr);
    // Nobody holds the order area: what the panel wrote is gone with its own handle.
    EXPECT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, errorLine)) == L"Unknown Error."; }, 2000));
    EXPECT_EQ(service.Requests().size(), 1u);
    ClickCentre(GetDlgItem(dialog, IDCANCEL));
    ASSERT_TRUE(WaitUntil([&] { return service.Requests().size() == 2; }, 5000));
    EXPECT_EQ(service.Requests()[1].type, 4);
    EXPECT_TRUE(panel.process().running());
}

TEST(Lifecycle, ServiceDownAtStartTakesOrdersOnceItIsUp)
{
    ParkMouse();
    TerminalHost terminal;
    BrokerConnection broker;
    PanelRun panel(ChartHandleText(terminal.chart()));
    ExpertRunner expert(panel.processId());
    const HWND window = panel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const HWND buy = FindWindowExW(FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr), nullptr, L"BUY_BUTTON",
                                   nullptr);
    Sleep(500);

    // Both endpoints refuse: both attempts fail, the area is left empty and the wait shows why.
    Click(buy, 40, 25);
    HWND dialog = WaitForMessageBox(panel.processId(), L"Executing");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, errorLine)) == L"Unknown Error."; }, 2000));
    EXPECT_EQ(expert.Orders(), "");
    ClickCentre(GetDlgItem(dialog, IDCANCEL));
    ASSERT_TRUE(WaitUntil([&] { return !WaitForMessageBox(panel.processId(), L"Executing", 0); }, 8000));
    // The Finish fails too; the panel takes input again once it has given up.
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(window) != FALSE; }, 15000));

    ServiceRun service;
    ASSERT_TRUE(service.listening());
    Click(buy, 40, 25);
    ASSERT_NE(WaitForMessageBox(panel.processId(), L"Executing"), nullptr);
    EXPECT_TRUE(WaitUntil([&] { return !WaitForMessageBox(panel.processId(), L"Executing", 0); }, 8000));
    EXPECT_TRUE(WaitUntil([&] { return service.Requests().size() == 2; }, 5000));
    const std::vector<LoggedRequest> requests = service.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, 0);
    EXPECT_EQ(requests[1].type, 4);
    EXPECT_NEAR(expert.CurrentPosition().volume, 0.01, 1e-9);
}

TEST(Lifecycle, TwentyOrdersInARowEachGiveOneOrderAndOneFinish)
{
    Trading trading("ok", "ok", 100);
    ASSERT_NE(trading.window, nullptr);
    const int orders = 20;
    for (int i = 0; i < orders; ++i) {
        Click(i % 2 ? trading.sell : trading.buy, 30, 25);
        ASSERT_TRUE(WaitUntil([&] { return trading.service.Requests().size() >= size_t(2 * i + 2); }, 10000))
            << "order " << i;
        ASSERT_TRUE(trading.DialogGone(L"Executing", 5000)) << "order " << i;
        // A click before the Finish exchange is over is rightly discarded.
        ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(trading.window) != FALSE; }, 5000)) << "order " << i;
    }
    Sleep(500);
    const std::vector<LoggedRequest> requests = trading.service.Requests();
    ASSERT_EQ(requests.size(), size_t(2 * orders)) << "nothing duplicated";
    for (int i = 0; i < orders; ++i) {
        EXPECT_EQ(requests[2 * i].type, i % 2) << "order " << i;
        EXPECT_EQ(requests[2 * i + 1].type, 4) << "order " << i;
    }
    EXPECT_TRUE(trading.panel.process().running());
}

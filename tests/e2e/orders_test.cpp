// Orders end to end: a trader's clicks on the real panel become requests to the stand-in service, whose
// decoded replies the stand-in expert executes, with the Executing dialog in between.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tests/support/trading.h"

using namespace harness;

TEST(Orders, BuySendsOneRequestWithThePanelsValuesThenOneFinish)
{
    Trading trading;
    ASSERT_TRUE(trading.service.listening());
    ASSERT_NE(trading.buy, nullptr);
    TypeInto(trading.stopLoss, L"25");
    TypeInto(trading.takeProfit, L"1.5x");
    ClickCentre(trading.checkBox);
    ASSERT_TRUE(WaitUntil([&] { return (SendMessageW(trading.checkBox, BM_GETSTATE, 0, 0) & BST_CHECKED) != 0; }, 2000));

    ASSERT_NE(trading.Buy(), nullptr);
    EXPECT_TRUE(trading.DialogGone(L"Executing", 8000));

    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    const LoggedRequest& order = requests[0];
    EXPECT_EQ(order.type, 0);
    EXPECT_EQ(order.volume, "0.01");
    EXPECT_EQ(order.stopLoss, "25");
    EXPECT_EQ(order.takeProfit, "1.5x") << "typed text goes out as it stands";
    EXPECT_EQ(order.setSlTpOnMarket, "1");
    EXPECT_EQ(order.company, "Stand-in Markets Ltd.");
    EXPECT_EQ(order.hash, ExpectedHash(BrokerConnection::address));
    EXPECT_EQ(requests[1].type, 4);
    EXPECT_EQ(requests[1].hash, order.hash);

    // The expert executed the decoded command: the panel shows the position.
    EXPECT_NEAR(trading.expert.CurrentPosition().volume, 0.01, 1e-9);
    EXPECT_TRUE(WaitUntil([&] { return trading.Field(L"Vol:").find(L"0.010") != std::wstring::npos; }, 3000))
        << std::string(trading.Field(L"Vol:").begin(), trading.Field(L"Vol:").end());
    Sleep(500);
    EXPECT_EQ(trading.service.Requests().size(), 2u) << "nothing more";
}

TEST(Orders, BesideAnotherProgramsConnectionsThePressCarriesTheTerminalsIdentityAndAReconnectWithinFiveSeconds)
{
    // A browser beside the terminal: idle connections and a new one every 250 ms, none with an owner in
    // wine's tables.
    const Neighbour browser(12, 250);
    ASSERT_TRUE(browser.ready());
    Trading trading;
    ASSERT_TRUE(trading.service.listening());
    ASSERT_NE(trading.Buy(), nullptr);
    ASSERT_TRUE(trading.DialogGone(L"Executing", 8000));
    std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].hash, ExpectedHash(BrokerConnection::address));
    EXPECT_EQ(requests[1].hash, requests[0].hash);

    // The pointer stays on BUY, where the panel keeps its look-up fresh, while the terminal reconnects to
    // another server: the first press 5 s later carries the new one, the order and its Finish alike.
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(trading.window) != FALSE; }, 5000));
    trading.broker.Reconnect("127.0.0.6");
    ASSERT_TRUE(trading.broker);
    const ULONGLONG reconnected = GetTickCount64();
    WaitUntil([&] { return GetTickCount64() - reconnected > 5100; }, 6000);  // the tick count moves in steps
    ASSERT_NE(trading.Buy(), nullptr);
    ASSERT_TRUE(trading.DialogGone(L"Executing", 8000));
    requests = trading.RequestsOnceThereAre(4);
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].hash, ExpectedHash("127.0.0.6"));
    EXPECT_EQ(requests[3].hash, ExpectedHash("127.0.0.6"));
}

TEST(Orders, SellOrderReachesTheOrderAreaDecoded)
{
    Trading trading("ok", "ok", 60000);  // the expert takes its time: the document keeps the command
    ASSERT_NE(trading.sell, nullptr);
    Click(trading.sell, 20, 25);
    ASSERT_NE(trading.Dialog(L"Executing"), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return trading.expert.Orders().rfind("<Order Type=\"SELL\"", 0) == 0; }, 5000))
        << trading.expert.Orders();
    EXPECT_NE(trading.expert.Orders().find("Volume=\"0.01\" SL=\"0\" TP=\"0\" SetSLTPonME=\"0\""), std::string::npos);
    PostMessageW(trading.Dialog(L"Executing"), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(trading.DialogGone(L"Executing", 3000));
}

TEST(Orders, ExecutingDialogCyclesShowsTheExpertsErrorAndClosesOnNone)
{
    Trading trading;
    trading.expert.SetExecuting(false);
    const HWND dialog = trading.Buy();
    ASSERT_NE(dialog, nullptr);
    const HWND progress = GetDlgItem(dialog, 1017);
    const HWND errorLine = GetDlgItem(dialog, 1018);

    // Four progress texts in turn, each standing about 500 ms.
    std::vector<std::wstring> seen;
    WaitUntil(
        [&] {
            const std::wstring text = TextOf(progress);
            if (seen.empty() || seen.back() != text)
                seen.push_back(text);
            return seen.size() >= 6;
        },
        4000);
    ASSERT_GE(seen.size(), 5u);
    const std::vector<std::wstring> cycle = {L"Executing  ", L"Executing  .", L"Executing  .  .", L"Executing  .  .  ."};
    size_t start = 0;
    while (start < cycle.size() && cycle[start] != seen[0])
        ++start;
    ASSERT_LT(start, cycle.size()) << "unexpected progress text";
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], cycle[(start + i) % cycle.size()]);

    trading.expert.WriteOrders("<Order Type=\"BUY\" Error=\"Market is closed\"/>");
    EXPECT_TRUE(WaitUntil([&] { return TextOf(errorLine) == L"Market is closed"; }, 1500));
    EXPECT_TRUE(IsWindow(dialog)) << "an error alone does not end the wait";

    const ULONGLONG done = GetTickCount64();
    trading.expert.WriteOrders("<Order Type=\"NONE\"/>");
    EXPECT_TRUE(trading.DialogGone(L"Executing", 2000));
    EXPECT_LT(GetTickCount64() - done, 800u) << "closes at the next half-second tick";
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].type, 4);
}

TEST(Orders, RefusedOrderKeepsTheDialogWithTheExpertsTextUntilTheTraderClosesIt)
{
    // The expert marks the command done and says why it could not execute it, in one rewrite.
    Trading trading;
    TypeInto(trading.volume, L"lots");
    const HWND dialog = trading.Buy();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, 1018)) == L"Invalid volume: lots"; }, 3000));
    EXPECT_NE(trading.expert.Orders().find("Type=\"NONE\""), std::string::npos);
    EXPECT_FALSE(trading.DialogGone(L"Executing", 1500)) << "the trader must read it";
    EXPECT_EQ(trading.service.Requests().size(), 1u) << "no Finish while the text shows";
    ClickCentre(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(trading.DialogGone(L"Executing", 3000));
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].type, 4);
}

TEST(Orders, CancelEndsTheWaitAndFinishStillFollows)
{
    Trading trading;
    trading.expert.SetExecuting(false);
    const HWND dialog = trading.Buy();
    ASSERT_NE(dialog, nullptr);
    ClickCentre(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(trading.DialogGone(L"Executing", 3000));
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, 0);
    EXPECT_EQ(requests[1].type, 4);
}

TEST(Orders, CloseAllCurrentSymbolSendsTypeTwoAndNamesTheSymbol)
{
    Trading trading;
    ASSERT_NE(trading.closeAll, nullptr);
    ClickCentre(trading.closeAll);
    const HWND warning = trading.Dialog(L"Warning");
    ASSERT_NE(warning, nullptr);
    const HWND current = GetDlgItem(warning, 3);
    EXPECT_EQ(TextOf(current), L"Close All (EURUSD)");
    ClickCentre(current);
    EXPECT_TRUE(trading.DialogGone(L"Warning", 8000));
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, 2);
    EXPECT_EQ(requests[1].type, 4);
}

TEST(Orders, CloseAllDealsNeedsTheConfirmation)
{
    Trading trading;
    ClickCentre(trading.closeAll);
    HWND warning = trading.Dialog(L"Warning");
    ASSERT_NE(warning, nullptr);
    ClickCentre(GetDlgItem(warning, 1014));
    HWND confirmation = trading.Dialog(L"Confirmation");
    ASSERT_NE(confirmation, nullptr);
    ClickCentre(GetDlgItem(confirmation, IDCANCEL));
    EXPECT_TRUE(trading.DialogGone(L"Confirmation", 3000));
    Sleep(700);
    EXPECT_TRUE(trading.service.Requests().empty()) << "Cancel in the confirmation sends nothing";

    ClickCentre(trading.closeAll);
    warning = trading.Dialog(L"Warning");
    ASSERT_NE(warning, nullptr);
    ClickCentre(GetDlgItem(warning, 1014));
    confirmation = trading.Dialog(L"Confirmation");
    ASSERT_NE(confirmation, nullptr);
    ClickCentre(GetDlgItem(confirmation, 1016));
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, 3);
    EXPECT_EQ(requests[1].type, 4);
}

TEST(Orders, CloseAllAndPressesSentDuringAnExchangeStartNothing)
{
    Trading trading("late", "late");
    ASSERT_NE(trading.buy, nullptr);
    Click(trading.buy, 30, 25);
    // The late service holds the exchange for 4 s once it has the request.
    ASSERT_TRUE(WaitUntil([&] { return trading.service.Requests().size() == 1; }, 5000));
    // Close All's command and a press, sent straight to the panel as an automation client would.
    constexpr int closeAllButtonId = 1010;
    SendMessageTimeoutW(trading.client, WM_COMMAND, MAKEWPARAM(closeAllButtonId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(trading.closeAll), SMTO_NORMAL, 2000, nullptr);
    SendMessageTimeoutW(trading.buy, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 25), SMTO_NORMAL, 2000, nullptr);
    SendMessageTimeoutW(trading.buy, WM_LBUTTONUP, 0, MAKELPARAM(30, 25), SMTO_NORMAL, 2000, nullptr);
    EXPECT_EQ(trading.Dialog(L"Warning", 300), nullptr) << "no Close All dialog";
    EXPECT_TRUE(trading.DialogGone(L"Executing", 15000));
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, 0);
    EXPECT_EQ(requests[1].type, 4);
    EXPECT_FALSE(WaitUntil([&] { return trading.service.Requests().size() > 2; }, 1000)) << "nothing more";
    EXPECT_EQ(trading.Dialog(L"Warning", 100), nullptr);
}

TEST(Orders, CloseAllDialogTakesNoSecondPressWhileItsCommandRuns)
{
    Trading trading;
    trading.expert.SetExecuting(false);
    ClickCentre(trading.closeAll);
    const HWND warning = trading.Dialog(L"Warning");
    ASSERT_NE(warning, nullptr);
    const HWND current = GetDlgItem(warning, 3);
    ClickCentre(current);
    const HWND executing = trading.Dialog(L"Executing");
    ASSERT_NE(executing, nullptr);
    // A second click on its button, at the end the Executing dialog leaves uncovered, must not end the
    // dialog while its command is under way.
    Click(current, 6, 8);
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(warning));
    // Nor does the button's command, sent straight to the dialog, order twice or end it.
    SendMessageTimeoutW(warning, WM_COMMAND, MAKEWPARAM(3, BN_CLICKED), reinterpret_cast<LPARAM>(current), SMTO_NORMAL,
                        2000, nullptr);
    Sleep(700);
    EXPECT_EQ(trading.service.Requests().size(), 1u) << "one order only";
    EXPECT_TRUE(IsWindowVisible(warning));
    PostMessageW(executing, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(trading.DialogGone(L"Warning", 5000)) << "it ends with its command";
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    Sleep(500);
    ASSERT_EQ(trading.service.Requests().size(), 2u);
    EXPECT_EQ(requests[0].type, 2);
    EXPECT_EQ(requests[1].type, 4);
}

TEST(Orders, RefusedPrimaryIsRetriedOnceOnTheSecondary)
{
    Trading trading("refuse", "ok");
    ASSERT_TRUE(trading.service.listening());
    ASSERT_NE(trading.Buy(), nullptr);
    EXPECT_TRUE(trading.DialogGone(L"Executing", 8000));
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].endpoint, "127.0.0.3:8888");
    EXPECT_EQ(requests[0].type, 0);
    EXPECT_EQ(requests[1].endpoint, "127.0.0.3:8888") << "the failed primary stays out";
    EXPECT_NEAR(trading.expert.CurrentPosition().volume, 0.01, 1e-9);
}

TEST(Orders, BothEndpointsFailingLeaveAnEmptyDocumentAndUnknownError)
{
    Trading trading("fault", "close");
    trading.expert.WriteOrders("<Order Type=\"NONE\" Id=\"earlier\"/>");
    const HWND dialog = trading.Buy();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, 1018)) == L"Unknown Error."; }, 3000));
    EXPECT_EQ(trading.expert.Orders(), "");
    EXPECT_TRUE(IsWindow(dialog)) << "an empty document never completes";
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(trading.DialogGone(L"Executing", 5000));
    EXPECT_TRUE(trading.panel.process().running());
}

TEST(Orders, BuyIsDrawnPressedUntilTheWholeCommandIsOver)
{
    // On its own the panel is drawn; no service answers, so the command ends in "Unknown Error.".
    ParkMouse();
    PanelRun panel(L"standalone");
    const HWND window = StartStandalone(panel);
    ASSERT_NE(window, nullptr);
    const HWND buy = FindWindowExW(FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr), nullptr, L"BUY_BUTTON", nullptr);
    const auto green = [&] {
        POINT point = {45, 30};
        ClientToScreen(buy, &point);
        return GetGValue(ScreenPixel(point.x, point.y));
    };
    ASSERT_TRUE(WaitUntil([&] { return green() > 120; }, 2000));
    const int normal = green();

    Click(buy, 20, 20);
    const HWND dialog = WaitForMessageBox(panel.processId(), L"Executing");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return green() < normal - 20; }, 1000)) << "pressed while the dialog is up";
    Sleep(600);
    EXPECT_LT(green(), normal - 20) << "still pressed: the mouse was released long ago";
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return green() == normal; }, 8000)) << "released once Finish is over";
}

TEST(Orders, ExpertMarkingDoneAtOnceStillShowsTheDialogForOneTick)
{
    Trading trading("ok", "ok", 0);
    const HWND dialog = trading.Buy();
    ASSERT_NE(dialog, nullptr);
    const ULONGLONG shown = GetTickCount64();
    EXPECT_TRUE(trading.DialogGone(L"Executing", 3000));
    EXPECT_LT(GetTickCount64() - shown, 1500u);
    EXPECT_EQ(trading.RequestsOnceThereAre(2).size(), 2u);
}

TEST(Orders, ChartClosingWhileTheExecutingDialogIsUpEndsThePanel)
{
    Trading trading;
    trading.expert.SetExecuting(false);
    TypeInto(trading.stopLoss, L"25");
    ASSERT_NE(trading.Buy(), nullptr);
    // What the controls hold after the press (here: nothing, once the chart takes them) is not the command's.
    SendMessageTimeoutW(trading.stopLoss, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"99"), SMTO_NORMAL, 2000, nullptr);
    ASSERT_TRUE(trading.terminal.ui().Run([&] { DestroyWindow(trading.terminal.chart()); }));
    EXPECT_EQ(trading.panel.WaitForExit(10000), 0u);
    EXPECT_EQ(WaitForMessageBox(trading.panel.processId(), L"Error", 0), nullptr);
    // The Finish goes out with the order's values, though the chart took the controls with it.
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].type, 4);
    EXPECT_EQ(requests[1].volume, "0.01");
    EXPECT_EQ(requests[1].stopLoss, "25");
    EXPECT_EQ(requests[1].setSlTpOnMarket, requests[0].setSlTpOnMarket);
    // The terminal's identity as the panel found it at attach, not what the gone chart's handle gives.
    EXPECT_EQ(requests[1].hash, ExpectedHash(BrokerConnection::address));
    EXPECT_EQ(requests[1].hash, requests[0].hash);
}

TEST(Orders, ClickDuringTheFinishExchangeIsNotReplayedAsAnOrder)
{
    // Every exchange takes 2 s; the trader clicks BUY again while the Finish exchange holds the panel.
    Trading trading("slow", "slow", 100);
    ASSERT_NE(trading.Buy(15000), nullptr);
    ASSERT_EQ(trading.RequestsOnceThereAre(2, 10000).size(), 2u) << "the Finish exchange has begun";
    Click(trading.buy, 30, 25);
    Sleep(4500);  // the Finish answer, then time for a replayed click's order to reach the service
    EXPECT_EQ(trading.service.Requests().size(), 2u) << "the click was made while the panel took no input";
    EXPECT_EQ(WaitForMessageBox(trading.panel.processId(), L"Executing", 0), nullptr);
}

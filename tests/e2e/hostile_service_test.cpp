// The order service misbehaving on both endpoints, against the real panel: each order fails, or reaches
// the expert only when it decodes to one plain element tree that fits the area; always within the call
// bounds, and the panel goes on.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/support/trading.h"
#include "tools/service/order_command.h"

using namespace harness;

namespace {

enum class Outcome {
    fails,      // both attempts fail: an empty document and "Unknown Error."
    gated,      // answered, but decoded to no element tree: an empty document, and no retry
    intact,     // the command arrives whole and is executed
};

struct Misbehaviour {
    const char* mode;
    Outcome outcome;
};

void PrintTo(const Misbehaviour& misbehaviour, std::ostream* out)
{
    *out << misbehaviour.mode;
}

// Two attempts of at most the connect bound (3 s) and the whole-transfer bound (5 s) each, with a
// selection of two loopback echoes between them.
constexpr DWORD commandBoundMs = 20000;
constexpr int progressLine = 1018;

class HostileService : public ::testing::TestWithParam<Misbehaviour> {};

}  // namespace

TEST_P(HostileService, OrderEndsWithinTheBoundAndThePanelGoesOn)
{
    const Misbehaviour misbehaviour = GetParam();
    Trading trading(misbehaviour.mode, misbehaviour.mode, 100);
    ASSERT_NE(trading.window, nullptr);
    ASSERT_TRUE(trading.service.listening());
    trading.expert.SetExecuting(misbehaviour.outcome == Outcome::intact);
    trading.expert.WriteOrders("<Order Type=\"NONE\" Id=\"earlier\"/>");

    // The dialog opens once the attempts are over and the document is written.
    const HWND dialog = trading.Buy(commandBoundMs);
    ASSERT_NE(dialog, nullptr);
    const std::string command = trading.expert.Orders();

    switch (misbehaviour.outcome) {
    case Outcome::fails:
        EXPECT_EQ(command, "") << "no earlier command is left for the expert";
        EXPECT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, progressLine)) == L"Unknown Error."; }, 3000));
        break;
    case Outcome::gated:
        EXPECT_EQ(command, "") << "neither the earlier command nor the decoded bytes";
        break;
    case Outcome::intact:
        EXPECT_TRUE(trading.DialogGone(L"Executing", 5000)) << "the expert executed the command";
        EXPECT_NEAR(trading.expert.CurrentPosition().volume, 0.01, 1e-9);
        break;
    }
    if (misbehaviour.outcome != Outcome::intact) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        // The Finish attempt misbehaves the same way.
        EXPECT_TRUE(trading.DialogGone(L"Executing", commandBoundMs));
    }
    if (misbehaviour.outcome != Outcome::fails) {
        Sleep(300);
        const std::vector<LoggedRequest> requests = trading.service.Requests();
        ASSERT_EQ(requests.size(), 2u) << "one order and one Finish, each answered at the first attempt";
        EXPECT_EQ(requests[0].type, 0);
        EXPECT_EQ(requests[1].type, 4);
    }
    // Still refreshing: the fields follow the expert's document.
    trading.expert.SetQuoting(false);
    trading.expert.Publish("<Symbol Name=\"EURUSD\" Digits=\"5\" Vol=\"7.5\"/>");
    EXPECT_TRUE(WaitUntil([&] { return trading.Field(L"Vol:").find(L"7.500") != std::wstring::npos; },
                          commandBoundMs));
    EXPECT_TRUE(trading.panel.process().running());
}

INSTANTIATE_TEST_SUITE_P(Misbehaving, HostileService,
                         ::testing::Values(Misbehaviour{"hang", Outcome::fails}, Misbehaviour{"reset", Outcome::fails},
                                           Misbehaviour{"error500", Outcome::fails},
                                           Misbehaviour{"wrongns", Outcome::fails},
                                           Misbehaviour{"badhex", Outcome::gated},
                                           Misbehaviour{"huge", Outcome::fails},
                                           Misbehaviour{"odd", Outcome::intact}),
                         [](const ::testing::TestParamInfo<Misbehaviour>& info) { return std::string(info.param.mode); });

// Replies the service answered well that still must not reach the expert: a command longer than the area
// (cut, it could still parse as a shorter one), one with a DTD and entities, a processing instruction, two
// commands side by side. The expert finds an empty document; the service answered, so there is no retry.
class GatedReply : public ::testing::TestWithParam<const char*> {};

TEST_P(GatedReply, ExpertFindsAnEmptyDocumentAndNoOrderIsSentTwice)
{
    Trading trading(GetParam(), GetParam(), 100);
    ASSERT_NE(trading.window, nullptr);
    EXPECT_EQ(trading.BuyThatFails(), "");
    const std::vector<LoggedRequest> requests = trading.RequestsOnceThereAre(2);
    // The panel takes input again once the Finish's reply is written.
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(trading.window) != FALSE; }, 8000));
    EXPECT_EQ(trading.expert.Orders(), "") << "the Finish's reply passes the same gate";
    ASSERT_EQ(requests.size(), 2u) << "one order and one Finish";
    EXPECT_EQ(requests[0].type, 0);
}

INSTANTIATE_TEST_SUITE_P(Replies, GatedReply, ::testing::Values("long", "dtd", "pi", "roots"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST(HostileService, GenuineCommandReachesTheExpertByteForByte)
{
    // A declaration, a comment, a child element and an escaped character: all of it as the service sent it.
    Trading trading("decl", "decl", 100);
    ASSERT_NE(trading.window, nullptr);
    trading.expert.SetExecuting(false);
    const HWND dialog = trading.Buy();
    ASSERT_NE(dialog, nullptr);
    const std::vector<LoggedRequest> requests = trading.service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const LoggedRequest& sent = requests[0];
    const OrderRequest order{sent.hash,     sent.company,  sent.type,          sent.volume,
                              sent.stopLoss, sent.takeProfit, sent.setSlTpOnMarket};
    EXPECT_EQ(trading.expert.Orders(), GenuineCommandWithDeclaration(OrderCommand(order, 1)));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(trading.DialogGone(L"Executing", 5000));
}

TEST(HostileService, DribbledRepliesAreCutAtTheBoundWhateverTheirPace)
{
    // A byte every 4.5 s: each read ends in time, the reply never does. Each attempt is cut 5 s after its
    // connection, not at the first read that happens to end later.
    Trading trading("dribble", "dribble", 100);
    ASSERT_NE(trading.buy, nullptr);
    const ULONGLONG pressed = GetTickCount64();
    Click(trading.buy, 40, 25);
    const HWND dialog = trading.Dialog(L"Executing", 20000);
    const ULONGLONG tookMs = GetTickCount64() - pressed;
    ASSERT_NE(dialog, nullptr);
    EXPECT_GT(tookMs, 9500u) << "both attempts had their bound";
    EXPECT_LT(tookMs, 12500u);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, progressLine)) == L"Unknown Error."; }, 3000));
}

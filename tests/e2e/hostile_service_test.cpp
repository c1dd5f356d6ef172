// The order service misbehaving on both endpoints, against the real panel: each order fails, or reaches
// the expert as whatever the reply decodes to when that fits the area; always within the call bounds, and
// the panel goes on.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/support/trading.h"

using namespace harness;

namespace {

enum class Outcome {
    fails,      // both attempts fail: an empty document and "Unknown Error."
    forwarded,  // the reply decodes to something, which the expert gets as it is
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
    case Outcome::forwarded:
        EXPECT_NE(command, "<Order Type=\"NONE\" Id=\"earlier\"/>") << "the decoded reply replaced it";
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
                                           Misbehaviour{"badhex", Outcome::forwarded},
                                           Misbehaviour{"huge", Outcome::fails},
                                           Misbehaviour{"odd", Outcome::intact}),
                         [](const ::testing::TestParamInfo<Misbehaviour>& info) { return std::string(info.param.mode); });

// A reply that decodes to more than the area holds is not handed over cut, where it could still parse as a
// shorter command: the expert finds an empty document.
TEST(HostileService, CommandLongerThanTheAreaIsNotHandedOver)
{
    Trading trading("long", "long", 100);
    ASSERT_NE(trading.window, nullptr);
    trading.expert.SetExecuting(false);
    trading.expert.WriteOrders("<Order Type=\"NONE\" Id=\"earlier\"/>");
    const HWND dialog = trading.Buy();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(trading.expert.Orders(), "");
    EXPECT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, progressLine)) == L"Unknown Error."; }, 3000));
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

// The panel of an https build against the stand-in service behind TLS fronts whose certificates are made
// as the test starts.
#include <gtest/gtest.h>

#include "service/order_call.h"
#include "service/winsock_session.h"
#include "tests/support/tls_service.h"
#include "tests/support/trading.h"
#include "tools/common/monotonic_clock.h"

using namespace harness;

namespace {

constexpr int primaryPort = 8443, secondaryPort = 8444;

// The whole panel process held still, as the system holds it while it sleeps.
class Suspended {
public:
    explicit Suspended(DWORD processId) : process_(OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, processId))
    {
        if (process_ && Call("NtSuspendProcess") == 0)
            suspended_ = true;
    }
    Suspended(const Suspended&) = delete;
    Suspended& operator=(const Suspended&) = delete;
    ~Suspended()
    {
        if (suspended_)
            Call("NtResumeProcess");
    }
    bool held() const { return suspended_; }

private:
    LONG Call(const char* name) const
    {
        using Function = LONG(NTAPI*)(HANDLE);
        const auto function = reinterpret_cast<Function>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name));
        return function ? function(process_.get()) : -1;
    }
    win::UniqueHandleObject process_;
    bool suspended_ = false;
};

// The panel of an https build on the loopback's two TLS fronts, both showing the valid leaf and forwarding
// to the stand-in service's two endpoints, in the service's mode.
struct TlsTrading {
    TlsTrading(const TestPki& testPki, const std::string& mode)
        : pki(testPki), primary(pki, primaryPort, "valid", "127.0.0.2:8888"), secondary(pki, secondaryPort, "valid", "127.0.0.3:8888"),
          trading(mode, mode, 100, L"panel_https.exe")
    {
    }
    bool ready() const { return pki.ready() && primary.listening() && secondary.listening() && trading.window; }
    int Accepted() const { return primary.Accepted() + secondary.Accepted(); }
    // Rests the pointer on BUY until the one connection made ahead has been taken through to the service
    // (past the handshake); the front that carries it, or null.
    const TlsFront* RestOnBuy() const
    {
        if (!RestPointerOn(trading.buy, 40, 25) || !WaitUntil([&] { return Accepted() == 1; }, 8000))
            return nullptr;
        const TlsFront& chosen = primary.Accepted() == 1 ? primary : secondary;
        return chosen.Forwarding() ? &chosen : nullptr;
    }

    const TestPki& pki;
    const TlsFront primary, secondary;
    Trading trading;
};

}  // namespace

TEST(TlsPanel, TradesOverTlsAndBothRefusedGiveUnknownError)
{
    // The real panel of an https build (both endpoints on the loopback's TLS fronts), pressed by a trader.
    ASSERT_TRUE(WinsockStarted());
    const TestPki pki;
    ASSERT_TRUE(pki.ready());
    {
        TlsTrading tls(pki, "ok");
        ASSERT_TRUE(tls.ready());
        Trading& trading = tls.trading;
        ASSERT_NE(trading.Buy(), nullptr);
        EXPECT_TRUE(trading.DialogGone(L"Executing", 8000)) << "the expert executed the command";
        EXPECT_NEAR(trading.expert.CurrentPosition().volume, 0.01, 1e-9);
        const auto requests = trading.RequestsOnceThereAre(2);
        ASSERT_EQ(requests.size(), 2u) << "the order and its Finish";
        EXPECT_EQ(requests[1].type, 4);
    }
    const TlsFront primary(pki, primaryPort, "elsewhere", "127.0.0.2:8888");
    const TlsFront secondary(pki, secondaryPort, "untrusted", "127.0.0.3:8888");
    ASSERT_TRUE(primary.listening() && secondary.listening());
    Trading trading("ok", "ok", 100, L"panel_https.exe");
    ASSERT_NE(trading.window, nullptr);
    EXPECT_EQ(trading.BuyThatFails(), "");
    EXPECT_TRUE(trading.service.Requests().empty());
}

TEST(TlsPanel, AConnectionMadeAheadBeforeASleepIsNotTrustedAndThePressTradesOnTheSameEndpoint)
{
    ASSERT_TRUE(WinsockStarted());
    const TestPki pki;
    TlsTrading tls(pki, "ok");
    ASSERT_TRUE(tls.ready());
    Trading& trading = tls.trading;
    // The pointer rests on BUY: the panel connects ahead to the endpoint it chose, through the handshake.
    const TlsFront* const chosen = tls.RestOnBuy();
    ASSERT_NE(chosen, nullptr) << "no connection made ahead: " << tls.Accepted();
    const bool onPrimary = chosen == &tls.primary;
    // The laptop sleeps; meanwhile the path dies without a word (the NAT forgot it), and the panel's
    // clock is late when it wakes. The press comes at once, before or after the late tick.
    {
        const Suspended sleeping(trading.panel.processId());
        ASSERT_TRUE(sleeping.held());
        ASSERT_TRUE(chosen->Freeze());
        const ULONGLONG asleep = GetTickCount64();
        WaitUntil([&] { return GetTickCount64() - asleep > tickLateAfter.count() * 1000 + 500; }, 10000);
    }
    const double pressed = MonotonicMs();
    ASSERT_TRUE(Xdotool(L"click 1"));
    ASSERT_NE(trading.Dialog(L"Executing"), nullptr);
    ASSERT_TRUE(trading.DialogGone(L"Executing", 12000));
    const auto requests = trading.RequestsOnceThereAre(2);
    ASSERT_EQ(requests.size(), 2u) << "the order and its Finish";
    EXPECT_EQ(requests[0].endpoint, onPrimary ? "127.0.0.2:8888" : "127.0.0.3:8888")
        << "the healthy endpoint took it, not the retry";
    EXPECT_LT(requests[0].arrivedMs - pressed, double(connectBound.count())) << "within one connect's time";
}

TEST(TlsPanel, NothingIsMadeAheadWhileACommandRuns)
{
    ASSERT_TRUE(WinsockStarted());
    const TestPki pki;
    TlsTrading tls(pki, "slow");
    ASSERT_TRUE(tls.ready());
    Trading& trading = tls.trading;
    // The pointer rests on BUY: one connection made ahead, which the press then sends on.
    ASSERT_NE(tls.RestOnBuy(), nullptr) << "no connection made ahead: " << tls.Accepted();
    ASSERT_TRUE(Xdotool(L"click 1"));
    // The service takes 2 s to answer while the pointer rests on the pressed button: its hovers start
    // nothing, and neither do they while the Executing dialog is up.
    ASSERT_NE(trading.Dialog(L"Executing"), nullptr);
    EXPECT_EQ(tls.Accepted(), 1) << "a connection was made ahead during the exchange";
    ASSERT_TRUE(trading.DialogGone(L"Executing", 12000));
    // The Finish connects itself; then the pointer, still on BUY, is watched again for the next press.
    EXPECT_TRUE(WaitUntil([&] { return tls.Accepted() == 3; }, 8000)) << tls.Accepted();
    ASSERT_EQ(trading.RequestsOnceThereAre(2).size(), 2u);
}

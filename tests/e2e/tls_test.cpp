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

}  // namespace

TEST(TlsPanel, TradesOverTlsAndBothRefusedGiveUnknownError)
{
    // The real panel of an https build (both endpoints on the loopback's TLS fronts), pressed by a trader.
    ASSERT_TRUE(WinsockStarted());
    const TestPki pki;
    ASSERT_TRUE(pki.ready());
    {
        const TlsFront primary(pki, primaryPort, "valid", "127.0.0.2:8888");
        const TlsFront secondary(pki, secondaryPort, "valid", "127.0.0.3:8888");
        ASSERT_TRUE(primary.listening() && secondary.listening());
        Trading trading("ok", "ok", 100, L"panel_https.exe");
        ASSERT_NE(trading.window, nullptr);
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
    ASSERT_TRUE(pki.ready());
    const TlsFront primary(pki, primaryPort, "valid", "127.0.0.2:8888");
    const TlsFront secondary(pki, secondaryPort, "valid", "127.0.0.3:8888");
    ASSERT_TRUE(primary.listening() && secondary.listening());
    Trading trading("ok", "ok", 100, L"panel_https.exe");
    ASSERT_NE(trading.window, nullptr);

    // The pointer rests on BUY: the panel connects ahead to the endpoint it chose, through the handshake.
    ASSERT_TRUE(RestPointerOn(trading.buy, 40, 25));
    ASSERT_TRUE(WaitUntil([&] { return primary.Accepted() + secondary.Accepted() == 1; }, 8000))
        << "no connection made ahead: " << primary.Accepted() << " + " << secondary.Accepted();
    const bool onPrimary = primary.Accepted() == 1;
    const TlsFront& chosen = onPrimary ? primary : secondary;
    ASSERT_TRUE(chosen.Forwarding());
    // The laptop sleeps; meanwhile the path dies without a word (the NAT forgot it), and the panel's
    // clock is late when it wakes. The press comes at once, before or after the late tick.
    {
        const Suspended sleeping(trading.panel.processId());
        ASSERT_TRUE(sleeping.held());
        ASSERT_TRUE(chosen.Freeze());
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
    ASSERT_TRUE(pki.ready());
    const TlsFront primary(pki, primaryPort, "valid", "127.0.0.2:8888");
    const TlsFront secondary(pki, secondaryPort, "valid", "127.0.0.3:8888");
    ASSERT_TRUE(primary.listening() && secondary.listening());
    Trading trading("slow", "slow", 100, L"panel_https.exe");
    ASSERT_NE(trading.window, nullptr);
    const auto accepted = [&] { return primary.Accepted() + secondary.Accepted(); };

    // The pointer rests on BUY: one connection made ahead, which the press then sends on.
    ASSERT_TRUE(RestPointerOn(trading.buy, 40, 25));
    ASSERT_TRUE(WaitUntil([&] { return accepted() == 1; }, 8000)) << "no connection made ahead: " << accepted();
    ASSERT_TRUE((primary.Accepted() == 1 ? primary : secondary).Forwarding());
    ASSERT_TRUE(Xdotool(L"click 1"));
    // The service takes 2 s to answer while the pointer rests on the pressed button: its hovers start
    // nothing, and neither do they while the Executing dialog is up.
    ASSERT_NE(trading.Dialog(L"Executing"), nullptr);
    EXPECT_EQ(accepted(), 1) << "a connection was made ahead during the exchange";
    ASSERT_TRUE(trading.DialogGone(L"Executing", 12000));
    // The Finish connects itself; then the pointer, still on BUY, is watched again for the next press.
    EXPECT_TRUE(WaitUntil([&] { return accepted() == 3; }, 8000)) << accepted();
    ASSERT_EQ(trading.RequestsOnceThereAre(2).size(), 2u);
}

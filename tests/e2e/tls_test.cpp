// The panel of an https build against the stand-in service behind TLS fronts whose certificates are made
// as the test starts.
#include <gtest/gtest.h>

#include "service/winsock_session.h"
#include "tests/support/tls_service.h"
#include "tests/support/trading.h"

using namespace harness;

namespace {

constexpr int primaryPort = 8443, secondaryPort = 8444;

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

// The order path to an https service: the stand-in service behind TLS fronts whose certificates are made
// as the test starts. A certificate the panel must refuse fails the attempt before any byte of the request
// leaves, and the retry goes to the other endpoint.
#include <gtest/gtest.h>

#include <ostream>

#include "service/order_path.h"
#include "service/winsock_session.h"
#include "tests/support/tls_service.h"
#include "tests/support/system.h"

using namespace harness;

namespace {

constexpr int primaryPort = 8443, secondaryPort = 8444;

const OrderCommand buy{Buy, {L"0.01", L"0", L"0", L"0"}, L"Broker Ltd."};

KeyPin PinOfLeaf(const TestPki& pki, const std::string& name)
{
    const auto pins = ParseKeyPins(pki.Pin(name));
    return pins && pins->size() == 1 ? pins->front() : KeyPin{};
}

class TlsService : public testing::Test {
protected:
    // The order path of an https build: the stand-in's fronts on the loopback, by name.
    std::wstring Order(const TlsPolicy& policy = {})
    {
        COrderPath path({HttpsEndpoint(primaryPort), HttpsEndpoint(secondaryPort)}, policy);
        path.selectServer();
        alive = path.endpoints().serverAlive;
        std::wstring command = path.orderWithRetry(buy);
        alive = path.endpoints().serverAlive;
        return command;
    }

    const bool winsock = WinsockStarted();
    TestPki pki;
    ServiceRun service;  // 127.0.0.2:8888 behind the primary's front, 127.0.0.3:8888 behind the secondary's
    std::array<unsigned char, 2> alive = {1, 1};
};

struct Refusal {
    const char* leaf;
    bool pinned;  // the build pins the valid leaf's key
};

void PrintTo(const Refusal& refusal, std::ostream* out)
{
    *out << refusal.leaf << (refusal.pinned ? ", pinned" : "");
}

class RefusedCertificate : public TlsService, public testing::WithParamInterface<Refusal> {};

}  // namespace

TEST_F(TlsService, ValidCertificateTrades)
{
    ASSERT_TRUE(pki.ready());
    const TlsFront primary(pki, primaryPort, "valid", "127.0.0.2:8888");
    const TlsFront secondary(pki, secondaryPort, "valid", "127.0.0.3:8888");
    ASSERT_TRUE(primary.listening() && secondary.listening());
    EXPECT_EQ(Order().rfind(L"<Order Type=\"BUY\" Volume=\"0.01\"", 0), 0u);
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].endpoint, "127.0.0.2:8888");
    // Pinned to the root's key or the leaf's: a chain that holds it trades.
    EXPECT_FALSE(Order({{PinOfLeaf(pki, "root")}}).empty());
    EXPECT_FALSE(Order({{PinOfLeaf(pki, "rekeyed"), PinOfLeaf(pki, "valid")}}).empty());
}

TEST_P(RefusedCertificate, FailsTheAttemptWithoutARequestAndTheRetryTrades)
{
    ASSERT_TRUE(pki.ready());
    const TlsFront primary(pki, primaryPort, GetParam().leaf, "127.0.0.2:8888");
    const TlsFront secondary(pki, secondaryPort, "valid", "127.0.0.3:8888");
    ASSERT_TRUE(primary.listening() && secondary.listening());
    const TlsPolicy policy = GetParam().pinned ? TlsPolicy{{PinOfLeaf(pki, "valid")}} : TlsPolicy{};
    EXPECT_EQ(Order(policy).rfind(L"<Order Type=\"BUY\"", 0), 0u) << "the secondary's answer";
    EXPECT_EQ(alive, (std::array<unsigned char, 2>{0, 1})) << "the primary failed";
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u) << "nothing reached the primary's service";
    EXPECT_EQ(requests[0].endpoint, "127.0.0.3:8888");
}

INSTANTIATE_TEST_SUITE_P(Certificates, RefusedCertificate,
                         testing::Values(Refusal{"elsewhere", false}, Refusal{"untrusted", false},
                                         Refusal{"expired", false}, Refusal{"rekeyed", true}),
                         [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.leaf); });

TEST_F(TlsService, NothingGoesInClearToAServiceWithoutTls)
{
    // An https endpoint whose port speaks plain HTTP: the service sees a TLS hello at most, never the order.
    ASSERT_TRUE(pki.ready());
    const TlsFront primary(pki, primaryPort, "valid", "127.0.0.2:8888", false);
    const TlsFront secondary(pki, secondaryPort, "elsewhere", "127.0.0.3:8888");
    ASSERT_TRUE(primary.listening() && secondary.listening());
    EXPECT_EQ(Order(), L"") << "both failed";
    EXPECT_TRUE(service.Requests().empty());
}

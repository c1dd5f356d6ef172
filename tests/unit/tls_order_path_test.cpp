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
    std::wstring Order(const TlsPolicy& policy = {}, int primary = primaryPort)
    {
        COrderPath path({HttpsEndpoint(primary), HttpsEndpoint(secondaryPort)}, policy);
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
    // A leaf under an intermediate CA that the server sends with it trades too.
    const TlsFront chained(pki, primaryPort + 10, "chained", "127.0.0.2:8888");
    ASSERT_TRUE(chained.listening());
    EXPECT_FALSE(Order(TlsPolicy{}, primaryPort + 10).empty());
    EXPECT_EQ(alive, (std::array<unsigned char, 2>{1, 1})) << "its own endpoint answered";
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

TEST_F(TlsService, ChainsOfTheWrongShapeAreRefusedBeforeTheRequest)
{
    // Each trusted up to the test root, each of a shape no server certificate may have. Wine's engine
    // passes the issuer made for client authentication only: the panel's own check refuses it.
    ASSERT_TRUE(pki.ready());
    const TlsFront secondary(pki, secondaryPort, "valid", "127.0.0.3:8888");
    ASSERT_TRUE(secondary.listening());
    for (const char* leaf : {"by-leaf", "by-plain", "deep", "by-nonsigner", "by-client-ca", "client-only"}) {
        const TlsFront primary(pki, primaryPort, leaf, "127.0.0.2:8888");
        ASSERT_TRUE(primary.listening()) << leaf;
        EXPECT_EQ(Order().rfind(L"<Order Type=\"BUY\"", 0), 0u) << leaf << ": the secondary's answer";
        EXPECT_EQ(alive, (std::array<unsigned char, 2>{0, 1})) << leaf << ": the primary failed";
    }
    for (const LoggedRequest& request : service.Requests())
        EXPECT_EQ(request.endpoint, "127.0.0.3:8888") << "nothing reached the primary's service";
    EXPECT_EQ(service.Requests().size(), 6u);
}

TEST_F(TlsService, AnIssuerTheServerDidNotSendIsNeverFetched)
{
    // The leaf names where its issuer is, and a server there would hand it out: the panel builds the chain
    // from what the handshake sent and the local stores, so the leaf is refused and nothing is fetched.
    ASSERT_TRUE(pki.ready());
    const TlsFront issuer(pki, TestPki::issuerPort, "", pki.IssuerServer(), false);
    const TlsFront primary(pki, primaryPort, "fetched", "127.0.0.2:8888");
    const TlsFront secondary(pki, secondaryPort, "valid", "127.0.0.3:8888");
    ASSERT_TRUE(issuer.listening() && primary.listening() && secondary.listening());
    EXPECT_EQ(Order().rfind(L"<Order Type=\"BUY\"", 0), 0u) << "the secondary's answer";
    EXPECT_EQ(alive, (std::array<unsigned char, 2>{0, 1})) << "the primary failed";
    EXPECT_EQ(pki.IssuerFetches(), 0);
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].endpoint, "127.0.0.3:8888");
}

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

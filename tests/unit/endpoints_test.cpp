// The endpoints: addresses, name lookups, echoes and the choice between the two.
#include "tests/unit/order_path_fixtures.h"

#include <wininet.h>

using namespace orderpath;

TEST(Endpoints, FastestAnsweringWinsAndATieKeepsThePrimary)
{
    const int values[] = {-1, 0, 1, 7, 1000};
    for (int primary : values)
        for (int secondary : values) {
            int expected = -1;
            if (primary >= 0 && (secondary < 0 || primary <= secondary))
                expected = 0;
            else if (secondary >= 0)
                expected = 1;
            EXPECT_EQ(SelectFastest({primary, secondary}), expected) << primary << " " << secondary;
        }
}

TEST(Endpoints, AddressesSplitAndResolve)
{
    UrlParts parts;
    ASSERT_TRUE(crackUrl(L"http://127.0.0.2:8888/Pellantix/Pellantix.svc", parts));
    EXPECT_EQ(parts.host, L"127.0.0.2");
    EXPECT_EQ(parts.port, 8888);
    EXPECT_EQ(parts.schemeNumber, INTERNET_SCHEME_HTTP);
    ASSERT_TRUE(crackUrl(L"https://localhost/Pellantix/Pellantix.svc", parts));
    EXPECT_EQ(parts.schemeNumber, INTERNET_SCHEME_HTTPS);
    EXPECT_EQ(parts.port, 443) << "the scheme's own port";
    EXPECT_TRUE(isLocalHost(L"localhost"));
    EXPECT_FALSE(isLocalHost(L"LOCALHOST"));
    EXPECT_EQ(resolveHost(L"http://localhost:8888/x"), 0u);
    EXPECT_EQ(resolveHost(L"http://127.0.0.2:8888/x"), inet_addr("127.0.0.2"));
    EXPECT_EQ(resolveHost(L"http://no-such-host.invalid:8888/x"), INADDR_NONE);
    EXPECT_EQ(DefaultServerUrls()[0], L"http://127.0.0.2:8888/Pellantix/Pellantix.svc");
    EXPECT_EQ(DefaultServerUrls()[1], L"http://127.0.0.3:8888/Pellantix/Pellantix.svc");
}

TEST(Endpoints, EchoesOnLoopbackAndTheirSelection)
{
    COrderPath path;
    path.setServers({L"http://localhost:8888/a", L"http://127.0.0.3:8888/b"});
    path.selectServer();
    EXPECT_EQ(path.endpoints().serverAddresses[1], inet_addr("127.0.0.3")) << "looked up once, echoed and called";
    EXPECT_EQ(path.endpoints().serverRoundTrips[0], 0) << "localhost answers without an echo";
    EXPECT_GE(path.endpoints().serverRoundTrips[1], 0);
    EXPECT_LT(path.endpoints().serverRoundTrips[1], 1000);

    path.setServers({L"http://no-such-host.invalid:8888/a", L"http://127.0.0.3:8888/b"});
    path.selectServer();
    EXPECT_EQ(path.endpoints().serverRoundTrips[0], -1);
    EXPECT_EQ(path.endpoints().selectedServer, 1);
    EXPECT_EQ(path.currentServer(), L"http://127.0.0.3:8888/b");

    // A failed primary is left out even when it would be fastest.
    path.setServers({L"http://localhost:8888/a", L"http://127.0.0.3:8888/b"});
    path.setServers(path.endpoints().serverUrls, {0, 1});
    path.selectServer();
    EXPECT_EQ(path.endpoints().selectedServer, 1);

    // Both failed: both restored to the defaults and pinged again.
    path.setServers(path.endpoints().serverUrls, {0, 0});
    path.selectServer();
    EXPECT_EQ(path.endpoints().serverUrls, DefaultServerUrls());
    EXPECT_EQ(path.endpoints().serverAlive, (std::array<unsigned char, 2>{1, 1}));
    const EndpointState restored = path.endpoints();
    EXPECT_GE(restored.serverRoundTrips[0], 0) << "127.0.0.2 answers on loopback";
    EXPECT_GE(restored.serverRoundTrips[1], 0) << "127.0.0.3 answers on loopback";
    EXPECT_EQ(restored.selectedServer, SelectFastest(restored.serverRoundTrips)) << "the faster of the two";

    // No answer at all still leaves an endpoint to call: the first one marked alive.
    path.setServers({L"http://no-such-host.invalid/a", L"http://also-not.invalid/b"});
    path.selectServer();
    EXPECT_EQ(path.endpoints().selectedServer, 0);
    path.setServers(path.endpoints().serverUrls, {0, 1});
    path.selectServer();
    EXPECT_EQ(path.endpoints().selectedServer, 1);
    EXPECT_EQ(SelectEndpoint({-1, -1}, {0, 0}), -1);
}

TEST(Endpoints, SlowNameServerLeavesItsAnswerForTheNextSelectionAndTheLastAddressServes)
{
    // A name server slower than the bound: its answers come after the selection has gone on without them.
    struct Counts {
        std::atomic<int> asked{0}, answered{0};
    };
    const auto counts = std::make_shared<Counts>();
    const HostResolver slow = [counts](const std::string&) {
        ++counts->asked;
        Sleep(static_cast<DWORD>(nameLookupBound.count()) + 500);
        ++counts->answered;
        return inet_addr("127.0.0.3");
    };
    COrderPath path({L"http://orders-a.test:1/x", L"http://orders-b.test:1/x"}, {}, slow);
    const std::array<ULONG, 2> none = {INADDR_NONE, INADDR_NONE}, found = {inet_addr("127.0.0.3"), inet_addr("127.0.0.3")};
    path.selectServer();
    EXPECT_EQ(path.endpoints().serverAddresses, none) << "both lookups overran";
    ASSERT_TRUE(harness::WaitUntil([&] { return counts->answered == 2; }, 5000));
    path.selectServer();
    EXPECT_EQ(path.endpoints().serverAddresses, found) << "the late answers";
    EXPECT_EQ(counts->asked, 2) << "no new lookup while an answer waited";
    path.selectServer();
    EXPECT_EQ(path.endpoints().serverAddresses, found) << "overran again: the last address found";
    EXPECT_EQ(counts->asked, 4);
}

TEST(Endpoints, OnlyAnEchoReplyAnswersAndAnyIPv4AddressOfTheHostCounts)
{
    ICMP_ECHO_REPLY reply = {};
    reply.RoundTripTime = 3;
    reply.Status = IP_SUCCESS;
    EXPECT_EQ(EchoRoundTrip(1, reply), 3);
    EXPECT_EQ(EchoRoundTrip(0, reply), -1);
    reply.Status = IP_DEST_HOST_UNREACHABLE;  // a router's answer, fast and useless
    EXPECT_EQ(EchoRoundTrip(1, reply), -1);

    sockaddr_in6 v6 = {};
    v6.sin6_family = AF_INET6;
    sockaddr_in v4 = {};
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = inet_addr("10.1.2.3");
    addrinfo second = {};
    second.ai_family = AF_INET;
    second.ai_addr = reinterpret_cast<sockaddr*>(&v4);
    addrinfo first = {};
    first.ai_family = AF_INET6;
    first.ai_addr = reinterpret_cast<sockaddr*>(&v6);
    first.ai_next = &second;
    EXPECT_EQ(FirstIPv4(&first), inet_addr("10.1.2.3"));
    EXPECT_EQ(FirstIPv4(&second), inet_addr("10.1.2.3"));
    second.ai_family = AF_INET6;
    EXPECT_EQ(FirstIPv4(&first), INADDR_NONE);
}

// One command's attempts: the failed endpoint marked, the retry, the connection made ahead.
#include "tests/unit/order_path_fixtures.h"

using namespace orderpath;

TEST(OrderExchange, FailedCallMarksTheEndpointAndSelectsAgain)
{
    Winsock winsock;
    COrderPath path;
    path.setServers({L"http://localhost:1/Pellantix/Pellantix.svc", L"http://127.0.0.3:1/Pellantix/Pellantix.svc"});
    path.selectServer();
    ASSERT_EQ(path.endpoints().selectedServer, 0) << "localhost answers at once";
    std::wstring command = L"unchanged";
    EXPECT_FALSE(path.callOrderComp({Sell, {L"0.01", L"0", L"0", L"0"}, L""}, command));
    EXPECT_EQ(command, L"unchanged");
    EXPECT_EQ(path.endpoints().serverAlive, (std::array<unsigned char, 2>{0, 1}));
    EXPECT_EQ(path.endpoints().selectedServer, 1) << "the other endpoint, which answers the echo";
    // Both attempts of an order fail: the result is the empty text.
    EXPECT_EQ(path.orderWithRetry({Buy, {L"0.01", L"0", L"0", L"0"}, L""}), L"");
}

TEST(OrderExchange, FailedPrimaryIsTriedAgainWhenTheSecondaryHasFailedToo)
{
    // The primary answers echoes and fails one call; the secondary's host is not found, and it is tried all
    // the same. Both failed: both are restored, so the panel never locks itself out of a recovered one.
    Winsock winsock;
    OneShotServer server(Http("<html>busy</html>", "503 Service Unavailable"));
    COrderPath path;
    path.setServers({L"http://localhost:" + std::to_wstring(server.port()) + L"/Pellantix/Pellantix.svc",
                       L"http://no-such-host.invalid/Pellantix/Pellantix.svc"});
    path.selectServer();
    ASSERT_EQ(path.endpoints().selectedServer, 0);
    std::wstring command;
    EXPECT_FALSE(path.callOrderComp({Buy, {L"0.01", L"0", L"0", L"0"}, L""}, command));
    EXPECT_EQ(path.endpoints().selectedServer, 1) << "the other one, though it answers no echo";
    EXPECT_FALSE(path.callOrderComp({Buy, {L"0.01", L"0", L"0", L"0"}, L""}, command));
    EXPECT_EQ(path.endpoints().serverAlive, (std::array<unsigned char, 2>{1, 1})) << "both restored";
    EXPECT_EQ(path.endpoints().serverUrls, DefaultServerUrls());
    const EndpointState restored = path.endpoints();
    ASSERT_GE(restored.serverRoundTrips[0], 0) << "both answer on loopback";
    ASSERT_GE(restored.serverRoundTrips[1], 0) << "both answer on loopback";
    EXPECT_EQ(restored.selectedServer, SelectFastest(restored.serverRoundTrips)) << "the faster of the two";
}

// Run where the network drops echoes (scripts/no-echo-network.sh; ctest runs it so): the service answers
// HTTP all the same, so the attempt calls the primary and the retry the secondary. The two echoes go out
// together: the selection waits one echo's second, not two.
TEST(EchoesDropped, OrderGoesToThePrimaryThenToTheSecondary)
{
    Winsock winsock;
    OneShotServer secondary(Http(Soap11(goodResponse)));
    // The names are numeric and read at once: a fresh wine session's own lookups can take seconds on a
    // loaded machine (this test has a namespace and a session of its own), and here only the echoes count.
    COrderPath path({L"http://127.0.0.1:" + std::to_wstring(FreeLoopbackPort()) + L"/Pellantix/Pellantix.svc",
                     L"http://127.0.0.1:" + std::to_wstring(secondary.port()) + L"/Pellantix/Pellantix.svc"},
                    {}, [](const std::string& host) { return inet_addr(host.c_str()); });
    // A fresh wine session's network services start slowly on a loaded machine: the selection is timed
    // again until it runs at its own pace (echoes one after the other never come under the bound).
    ULONGLONG selection = 0;
    harness::WaitUntil(
        [&] {
            const ULONGLONG start = GetTickCount64();
            path.selectServer();
            selection = GetTickCount64() - start;
            return selection < 1800u;
        },
        30000);
    ASSERT_EQ(path.endpoints().serverRoundTrips, (std::array<int, 2>{-1, -1})) << "this network answers echoes";
    EXPECT_GE(selection, 900u) << "each echo had its second";
    EXPECT_LT(selection, 1800u) << "both at once";
    EXPECT_EQ(path.endpoints().selectedServer, 0);
    path.orderWithRetry({Sell, {L"0.01", L"0", L"0", L"0"}, L""});
    EXPECT_EQ(path.endpoints().serverAlive, (std::array<unsigned char, 2>{0, 1})) << "the primary refused, the secondary took it";
    EXPECT_NE(secondary.received().find("<ns1:Type>1</ns1:Type>"), std::string::npos);
}

TEST(OrderExchange, ConnectionMadeAheadCarriesOnePressAndOneTheServiceClosedIsMadeAgain)
{
    Winsock winsock;
    const OrderCommand buy{Buy, {L"0.01", L"0", L"0", L"0"}, L""};
    std::wstring command;
    {
        // Made while the pointer rests: no request goes with it, and the press sends on it. Nothing looked
        // up the identity before: the press does, while it takes the connection, and sends the terminal's.
        const BrokerConnection broker;
        OneShotServer server(Http(Soap11(goodResponse)));
        COrderPath path({L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/Pellantix/Pellantix.svc",
                         L"http://no-such-host.invalid/x"},
                        {});
        path.attachTerminal(GetCurrentProcessId());
        path.selectServer();
        path.connectAhead();
        ASSERT_TRUE(harness::WaitUntil([&] { return path.holdsConnectionAhead(); }, 5000));
        EXPECT_EQ(server.accepted(), 1);
        EXPECT_TRUE(server.received().empty()) << "a rest makes no request";
        EXPECT_TRUE(path.callOrderComp(buy, command));
        EXPECT_EQ(server.accepted(), 1) << "the press sent on the connection made ahead";
        EXPECT_FALSE(path.holdsConnectionAhead()) << "one request a connection";
        EXPECT_NE(server.received().find("<ns1:HASH>" + harness::ExpectedHash(BrokerConnection::address) + "</ns1:HASH>"),
                  std::string::npos)
            << server.received();
    }
    {
        // The service dropped the idle connection: it is made again while the pointer rests, once.
        OneShotServer server(Http(Soap11(goodResponse)), OneShotServer::Answer::afterIdleClose);
        COrderPath path({L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/Pellantix/Pellantix.svc",
                         L"http://no-such-host.invalid/x"},
                        {});
        path.selectServer();
        path.connectAhead();
        ASSERT_TRUE(harness::WaitUntil([&] { return path.holdsConnectionAhead() && server.idleClosed(); }, 5000));
        // The pointer rests on (the panel is told again and again): the closed one is made again, not at once
        // but within seconds, and the press sends on the new one.
        EXPECT_TRUE(harness::WaitUntil(
            [&] {
                path.connectAhead();
                return server.accepted() == 2 && path.holdsConnectionAhead();
            },
            5000));
        EXPECT_TRUE(path.callOrderComp(buy, command));
        EXPECT_EQ(server.accepted(), 2);
        EXPECT_EQ(path.endpoints().serverAlive, (std::array<unsigned char, 2>{1, 1})) << "no failed attempt";
        // A rest that ends: the connection goes.
        path.connectAhead();
        path.dropConnectionAhead();
        EXPECT_FALSE(path.holdsConnectionAhead());
    }
}

TEST(OrderExchange, ConnectingAheadBacksOffWhileItFailsAndThePressStillConnects)
{
    // A second after the first failure, doubled after each further one, never longer than 30 s.
    EXPECT_EQ(ConnectAheadPause(0).count(), 0);
    EXPECT_EQ(ConnectAheadPause(1).count(), 1000);
    EXPECT_EQ(ConnectAheadPause(2).count(), 2000);
    EXPECT_EQ(ConnectAheadPause(5).count(), 16000);
    EXPECT_EQ(ConnectAheadPause(6).count(), 30000);
    EXPECT_EQ(ConnectAheadPause(1000).count(), 30000) << "no shift past the width of an int";

    // An https endpoint whose handshake fails every time: the pointer rests 5 s on BUY, the panel told
    // again at every hover (0.15 s), and the service sees a few attempts, not one at each.
    Winsock winsock;
    OneShotServer server(std::string(), OneShotServer::Answer::closeEach);
    const std::wstring endpoint = L"https://127.0.0.1:" + std::to_wstring(server.port()) + L"/Pellantix/Pellantix.svc";
    COrderPath path({endpoint, endpoint}, {});
    path.selectServer();
    const ULONGLONG rest = GetTickCount64();
    while (GetTickCount64() - rest < 5000) {
        path.connectAhead();
        Sleep(150);
    }
    EXPECT_FALSE(path.holdsConnectionAhead());
    EXPECT_GE(server.accepted(), 2) << "tried again after the pause";
    EXPECT_LE(server.accepted(), 5);
    // The press connects itself, whatever the pauses say.
    const int before = server.accepted();
    std::wstring command;
    EXPECT_FALSE(path.callOrderComp({Buy, {L"0.01", L"0", L"0", L"0"}, L""}, command));
    EXPECT_EQ(server.accepted(), before + 1);
}

TEST(OrderExchange, AConnectionAheadServesOnlyWhileBothClocksSayItIsYoung)
{
    using namespace std::chrono_literals;
    const ClockReading made = ClockReading::Now();
    const auto after = [&](auto steady, auto system) { return ClockReading{made.steady + steady, made.system + system}; };
    EXPECT_TRUE(WithinOnBothClocks(made, made, connectionAheadServesFor));
    EXPECT_TRUE(WithinOnBothClocks(made, after(15s, 15s), connectionAheadServesFor)) << "the bound itself";
    EXPECT_FALSE(WithinOnBothClocks(made, after(16s, 16s), connectionAheadServesFor)) << "a long rest";
    // A sleep the monotonic clock did not count, and a system clock set forward or back.
    EXPECT_FALSE(WithinOnBothClocks(made, after(1s, 3600s), connectionAheadServesFor));
    EXPECT_FALSE(WithinOnBothClocks(made, after(1s, -1s), connectionAheadServesFor)) << "a clock set back";
    EXPECT_FALSE(WithinOnBothClocks(made, after(-1ms, 0s), tickLateAfter));
}

TEST(OrderExchange, LackOfMemoryFailsTheAttemptInsteadOfEndingThePanel)
{
    Winsock winsock;
    OneShotServer server(Http(Soap11("<OrderCompResponse xmlns=\"http://tempuri.org/\"><OrderCompResult>" +
                                     std::string(40'000, 'A') + "</OrderCompResult></OrderCompResponse>")));
    COrderPath path;
    path.setServers({L"http://localhost:" + std::to_wstring(server.port()) + L"/Pellantix/Pellantix.svc",
                       L"http://no-such-host.invalid/Pellantix/Pellantix.svc"});
    path.selectServer();
    std::wstring command = L"unchanged";
    bool answered = true;
    {
        const AllocationLimit limit(32'000);
        EXPECT_NO_THROW(answered = path.callOrderComp({Buy, {L"0.01", L"0", L"0", L"0"}, L""}, command));
    }
    EXPECT_FALSE(answered);
    EXPECT_EQ(command, L"unchanged");
}

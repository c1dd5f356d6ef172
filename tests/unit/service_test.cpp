// The order service client: the request on the wire, replies, endpoint choice, identity hash, decoding.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "service/endpoints.h"
#include "service/identity_hash.h"
#include "service/order_call.h"
#include "service/order_path.h"
#include "service/reply_decoding.h"
#include "service/tls_channel.h"
#include "service/winsock_session.h"
#include "tests/support/harness.h"
#include "tests/support/system.h"
#include "tests/unit/allocation_limit.h"
#include "tools/terminal/broker_connection.h"
#include "win/system_thread.h"

namespace {

std::wstring BesideTests(const std::wstring& name)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + name;
}

// Winsock as the panel has it: started once for the process, never ended while threads of the order path
// may still run.
struct Winsock {
    Winsock() { EXPECT_TRUE(WinsockStarted()); }
};

// A plain listener on loopback that takes one request and answers it with canned bytes (or not at all);
// given several replies, one connection each, in turn.
class OneShotServer {
public:
    enum class Answer {
        whole,       // the reply at once
        none,        // reads on and never answers
        resetHalfway,  // half the reply, then a reset
        trickle,     // the reply a byte every 1.2 s
        afterIdleClose,  // the first connection closed at once, unread (as a service drops idle ones); then whole
        closeEach,   // every connection closed at once, unread (a TLS hello meets no TLS), counted
    };
    explicit OneShotServer(std::string reply, Answer answer = Answer::whole)
        : OneShotServer(std::vector<std::string>{std::move(reply)}, answer)
    {
    }
    explicit OneShotServer(std::vector<std::string> replies, Answer answer = Answer::whole)
        : replies_(std::move(replies)), answer_(answer)
    {
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(listener_, 1);
        thread_ = win::StartThread([this] {
            while (answer_ == Answer::closeEach)
                if (!AcceptAndClose())
                    return;
            if (answer_ == Answer::afterIdleClose) {
                if (!AcceptAndClose())
                    return;
                idleClosed_ = true;
            }
            for (const std::string& reply : replies_)
                if (!Serve(reply))
                    break;
        });
    }
    ~OneShotServer()
    {
        // Nothing the server waits on may hold the test: the listener goes, and a connection being served
        // is shut down, whatever the client did with it.
        stopping_ = true;
        closesocket(listener_);
        {
            const std::lock_guard lock(servingMutex_);
            if (serving_ != INVALID_SOCKET)
                shutdown(serving_, SD_BOTH);
        }
        if (thread_)
            WaitForSingleObject(thread_, INFINITE);
    }
    std::string Endpoint(const std::string& path = "/Pellantix/Pellantix.svc") const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int port() const { return port_; }
    // What the client sent; complete once the call has returned.
    const std::string& received() const { return received_; }
    int accepted() const { return accepted_; }
    bool idleClosed() const { return idleClosed_; }

private:
    // One connection taken and closed unread; false once the listener has gone.
    bool AcceptAndClose()
    {
        const SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return false;
        ++accepted_;
        closesocket(client);
        return true;
    }
    bool Serve(const std::string& reply)
    {
        const SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return false;
        {
            const std::lock_guard lock(servingMutex_);
            serving_ = client;
            if (stopping_)
                shutdown(client, SD_BOTH);
        }
        ++accepted_;
        char buffer[8192];
        int got;
        // The head, then as many body bytes as Content-Length says.
        std::string request;
        while ((got = recv(client, buffer, sizeof buffer, 0)) > 0) {
            request.append(buffer, got);
            const size_t head = request.find("\r\n\r\n");
            const size_t lengthAt = request.find("Content-Length: ");
            if (head != std::string::npos && lengthAt != std::string::npos &&
                request.size() >= head + 4 + std::stoul(request.substr(lengthAt + 16)))
                break;
        }
        received_ += request;
        switch (answer_) {
        case Answer::whole:
        case Answer::afterIdleClose:
        case Answer::closeEach:  // never served: each connection was closed unread
            send(client, reply.data(), static_cast<int>(reply.size()), 0);
            break;
        case Answer::none:
            while (recv(client, buffer, sizeof buffer, 0) > 0) {
            }
            break;
        case Answer::resetHalfway: {
            send(client, reply.data(), static_cast<int>(reply.size() / 2), 0);
            Sleep(100);
            const linger abort = {1, 0};  // closing then resets the connection
            setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
            break;
        }
        case Answer::trickle:
            // Stops once the client has hung up (or the listener is closed by the destructor).
            for (size_t i = 0; i < reply.size() && !stopping_; ++i) {
                if (send(client, &reply[i], 1, 0) != 1)
                    break;
                Sleep(1200);
            }
            break;
        }
        const std::lock_guard lock(servingMutex_);
        serving_ = INVALID_SOCKET;
        closesocket(client);
        return true;
    }

    std::vector<std::string> replies_;
    Answer answer_;
    std::atomic<bool> stopping_ = false;
    std::atomic<int> accepted_ = 0;
    std::atomic<bool> idleClosed_ = false;
    std::mutex servingMutex_;
    SOCKET serving_ = INVALID_SOCKET;  // the connection being served
    SOCKET listener_;
    int port_ = 0;
    win::UniqueHandleObject thread_;
    std::string received_;
};

// A loopback port nobody listens on at the moment.
int FreeLoopbackPort()
{
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(probe);
    return ntohs(address.sin_port);
}

std::string Http(const std::string& body, const char* status = "200 OK")
{
    return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string Soap11(const std::string& content)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<s:Body>" + content + "</s:Body></s:Envelope>";
}

const std::string goodResponse =
    "<OrderCompResponse xmlns=\"http://tempuri.org/\"><OrderCompResult>0A1B</OrderCompResult></OrderCompResponse>";

OrderRequest FullRequest()
{
    OrderRequest request;
    request.hash = "8882632B7F0DFFA4D723AB9CF17BEDB55690BA5B";
    request.company = "Broker Ltd.";
    request.type = 1;
    request.volume = "0.01";
    request.stopLoss = "15";
    request.takeProfit = "30";
    request.setSlTpOnMarket = "1";
    return request;
}

const std::string envelopeOpen =
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:ns3=\"http://schemas.microsoft.com/2003/10/Serialization/\" xmlns:ns1=\"http://tempuri.org/\">";

std::string ExpectedMessage(int port, const std::string& fields)
{
    const std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + envelopeOpen +
                             "<SOAP-ENV:Body><ns1:OrderComp>" + fields +
                             "</ns1:OrderComp></SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";  // the runtime ends the body with a line
    return "POST /Pellantix/Pellantix.svc HTTP/1.1\r\n"
           "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"
           "User-Agent: gSOAP/2.8\r\n"
           "Content-Type: text/xml; charset=utf-8\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\n"
           "Connection: close\r\n"
           "SOAPAction: \"http://tempuri.org/IPellantix/OrderComp\"\r\n"
           "\r\n" + body;
}

}  // namespace

TEST(OrderCall, FullRequestGoesOutByteForByte)
{
    Winsock winsock;
    OneShotServer server(Http(Soap11(goodResponse)));
    std::string result;
    ASSERT_EQ(SendOrderComp(server.Endpoint(), FullRequest(), result), 0);
    EXPECT_EQ(result, "0A1B");
    EXPECT_EQ(server.received(),
              ExpectedMessage(server.port(),
                              "<ns1:HASH>8882632B7F0DFFA4D723AB9CF17BEDB55690BA5B</ns1:HASH><ns1:Comp>Broker Ltd.</ns1:Comp>"
                              "<ns1:Type>1</ns1:Type><ns1:Volume>0.01</ns1:Volume><ns1:SL>15</ns1:SL><ns1:TP>30</ns1:TP>"
                              "<ns1:SetSLTPonME>1</ns1:SetSLTPonME>"));

    // The identity taken once the connection stands: the same bytes, its length counted from the text the
    // request held until then.
    OneShotServer later(Http(Soap11(goodResponse)));
    OrderRequest request = FullRequest();
    const std::string identity = request.hash;
    request.hash.assign(identityHashDigits, '0');
    int asked = 0;
    ASSERT_EQ(SendOrderComp(later.Endpoint(), inet_addr("127.0.0.1"), request, result, {}, nullptr, nullptr,
                            [&] {
                                ++asked;
                                return identity;
                            }),
              0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(later.received(), ExpectedMessage(later.port(),
                                                "<ns1:HASH>8882632B7F0DFFA4D723AB9CF17BEDB55690BA5B</ns1:HASH><ns1:Comp>Broker Ltd.</ns1:Comp>"
                                                "<ns1:Type>1</ns1:Type><ns1:Volume>0.01</ns1:Volume><ns1:SL>15</ns1:SL><ns1:TP>30</ns1:TP>"
                                                "<ns1:SetSLTPonME>1</ns1:SetSLTPonME>"));
    // One of another length would not match the length sent: nothing goes, and no endpoint is to blame.
    OneShotServer never(Http(Soap11(goodResponse)));
    EXPECT_THROW(SendOrderComp(never.Endpoint(), inet_addr("127.0.0.1"), request, result, {}, nullptr, nullptr,
                               [] { return std::string("ABC"); }),
                 std::bad_alloc);
    EXPECT_TRUE(never.received().empty());
}

TEST(OrderCall, EmptyTextsAreEmptyElementsAndLatin1GoesOutAsUtf8)
{
    Winsock winsock;
    OneShotServer server(Http(Soap11(goodResponse)));
    OrderRequest request = FullRequest();
    request.type = 4;
    request.stopLoss.clear();
    request.takeProfit.clear();
    request.company = "Soci\xE9t\xE9 <G&n>";
    std::string result;
    ASSERT_EQ(SendOrderComp(server.Endpoint(), request, result), 0);
    EXPECT_EQ(server.received(),
              ExpectedMessage(server.port(),
                              "<ns1:HASH>8882632B7F0DFFA4D723AB9CF17BEDB55690BA5B</ns1:HASH>"
                              "<ns1:Comp>Soci\xC3\xA9t\xC3\xA9 &lt;G&amp;n&gt;</ns1:Comp><ns1:Type>4</ns1:Type>"
                              "<ns1:Volume>0.01</ns1:Volume><ns1:SL/><ns1:TP/>"
                              "<ns1:SetSLTPonME>1</ns1:SetSLTPonME>"));
    EXPECT_EQ(server.received().find("nil"), std::string::npos);
}

TEST(OrderCall, RepliesInSoap12OrWithExtraChildrenAreRead)
{
    Winsock winsock;
    {
        OneShotServer server(Http(
            "<?xml version=\"1.0\"?><env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Body>" +
                goodResponse + "</env:Body></env:Envelope>",
            "200 OK"));
        std::string result;
        EXPECT_EQ(SendOrderComp(server.Endpoint(), FullRequest(), result), 0);
        EXPECT_EQ(result, "0A1B");
    }
    {
        OneShotServer server(Http(Soap11("<a:OrderCompResponse xmlns:a=\"http://tempuri.org/\"><a:Note>x</a:Note>"
                                         "<a:OrderCompResult>FF00</a:OrderCompResult><a:More/></a:OrderCompResponse>")));
        std::string result;
        EXPECT_EQ(SendOrderComp(server.Endpoint(), FullRequest(), result), 0);
        EXPECT_EQ(result, "FF00");
    }
}

TEST(OrderCall, WrongNamespaceFaultMissingResultAndRefusalFail)
{
    Winsock winsock;
    const std::vector<std::string> replies = {
        Http(Soap11("<OrderCompResponse xmlns=\"http://example.org/\"><OrderCompResult>0A</OrderCompResult>"
                    "</OrderCompResponse>")),
        Http(Soap11("<s:Fault><faultcode>s:Server</faultcode><faultstring>down</faultstring></s:Fault>"),
             "500 Internal Server Error"),
        Http(Soap11("<OrderCompResponse xmlns=\"http://tempuri.org/\"/>")),
        Http("<html>busy</html>", "503 Service Unavailable"),
    };
    for (const std::string& reply : replies) {
        OneShotServer server(reply);
        std::string result = "unchanged";
        EXPECT_NE(SendOrderComp(server.Endpoint(), FullRequest(), result), 0) << reply;
        EXPECT_EQ(result, "unchanged");
    }
    std::string result;
    EXPECT_NE(SendOrderComp("http://127.0.0.1:1/Pellantix/Pellantix.svc", FullRequest(), result), 0);
}

TEST(OrderCall, ServiceThatNeverAnswersFailsWithinTheBound)
{
    Winsock winsock;
    OneShotServer server("", OneShotServer::Answer::none);
    std::string result;
    const ULONGLONG start = GetTickCount64();
    EXPECT_NE(SendOrderComp(server.Endpoint(), FullRequest(), result), 0);
    EXPECT_LT(GetTickCount64() - start, ULONGLONG((connectBound + exchangeBound).count()));
}

TEST(OrderCall, RefusedConnectionFailsAtOnceNotAfterTheConnectBound)
{
    // A refused primary must not hold the retry on the secondary for the whole connect bound.
    Winsock winsock;
    std::string result = "unchanged";
    const ULONGLONG start = GetTickCount64();
    EXPECT_NE(SendOrderComp("http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/Pellantix/Pellantix.svc",
                            FullRequest(), result),
              0);
    EXPECT_LT(GetTickCount64() - start, ULONGLONG(connectBound.count() / 2));
    EXPECT_EQ(result, "unchanged");
    EXPECT_NE(SendOrderComp("http://no-such-host.invalid/Pellantix/Pellantix.svc", FullRequest(), result), 0);
    EXPECT_EQ(result, "unchanged");
}

TEST(OrderCall, ReplyCutByAResetOrShortOfItsLengthFails)
{
    Winsock winsock;
    const std::string reply = Http(Soap11(goodResponse));
    {
        OneShotServer server(reply, OneShotServer::Answer::resetHalfway);
        std::string result = "unchanged";
        EXPECT_NE(SendOrderComp(server.Endpoint(), FullRequest(), result), 0);
        EXPECT_EQ(result, "unchanged");
    }
    {
        // The connection closes in order, but the body ends early.
        OneShotServer server(reply.substr(0, reply.size() - 40));
        std::string result = "unchanged";
        EXPECT_NE(SendOrderComp(server.Endpoint(), FullRequest(), result), 0);
        EXPECT_EQ(result, "unchanged");
    }
}

TEST(OrderCall, ServiceTricklingItsReplyFailsWithinTheWholeBound)
{
    // Every byte comes within a second or two: the reply is cut when the exchange bound has passed, not at
    // the first read that happens to end after it.
    Winsock winsock;
    OneShotServer server(Http(Soap11(goodResponse)), OneShotServer::Answer::trickle);
    std::string result = "unchanged";
    const ULONGLONG start = GetTickCount64();
    EXPECT_NE(SendOrderComp(server.Endpoint(), FullRequest(), result), 0);
    EXPECT_LT(GetTickCount64() - start, ULONGLONG(exchangeBound.count() + 700));
    EXPECT_EQ(result, "unchanged");
}

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
    EXPECT_EQ(parts.path, L"/Pellantix/Pellantix.svc");
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
    EXPECT_GE(path.endpoints().selectedServer, 0) << "127.0.0.2 and 127.0.0.3 both answer on loopback: the faster";

    // No answer at all still leaves an endpoint to call: the first one marked alive.
    path.setServers({L"http://no-such-host.invalid/a", L"http://also-not.invalid/b"});
    path.selectServer();
    EXPECT_EQ(path.endpoints().selectedServer, 0);
    path.setServers(path.endpoints().serverUrls, {0, 1});
    path.selectServer();
    EXPECT_EQ(path.endpoints().selectedServer, 1);
    EXPECT_EQ(SelectEndpoint({-1, -1}, {0, 0}), -1);
}

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

TEST(IdentityHash, PaddingDigitsAndTheDigestOfEightSpaces)
{
    EXPECT_EQ(padToBlock(L""), std::wstring(8, L' '));
    EXPECT_EQ(padToBlock(L"12345678"), L"12345678" + std::wstring(8, L' '));
    EXPECT_EQ(padToBlock(L"192.168.1.10"), L"192.168.1.10    ");
    EXPECT_EQ(padToBlock(L"192.168.100.200"), L"192.168.100.200 ");
    const unsigned char bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
    EXPECT_EQ(bytesToHex(bytes, 4), L"000FA5FF");

    COrderPath path;
    EXPECT_EQ(path.HASH(L"", CALG_SHA1), L"8882632B7F0DFFA4D723AB9CF17BEDB55690BA5B");
    const std::wstring digest = path.HASH(L"192.168.1.10", CALG_SHA1);
    ASSERT_EQ(digest.size(), 40u);
    EXPECT_EQ(digest.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
}

TEST(IdentityHash, BrokerAddressOfAProcessWithoutConnectionsIsEmpty)
{
    // A program with a window and no socket at all.
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    std::wstring line = L"bench_blit_baseline.exe";
    ASSERT_TRUE(CreateProcessW(BesideTests(L"bench_blit_baseline.exe").c_str(), line.data(), nullptr, nullptr, FALSE,
                               0, nullptr, nullptr, &startup, &info));
    HWND window = nullptr;
    for (int i = 0; i < 250 && !window; ++i, Sleep(20))
        window = FindWindowW(L"BlitBaseline", nullptr);
    COrderPath path;
    path.attachTerminal(info.dwProcessId);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(path.brokerAddress(), L"");
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

// A clock the test moves by hand, for the identity's freshness.
struct TestClock {
    std::shared_ptr<std::atomic<std::chrono::steady_clock::rep>> now =
        std::make_shared<std::atomic<std::chrono::steady_clock::rep>>(
            std::chrono::steady_clock::now().time_since_epoch().count());
    void Advance(std::chrono::milliseconds by) { *now += std::chrono::duration_cast<std::chrono::steady_clock::duration>(by).count(); }
    BrokerIdentity::Clock Function() const
    {
        return [now = now] { return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(now->load())); };
    }
};

TEST(IdentityHash, BrokerAddressIsTheRemoteAddressOfTheTerminalsConnectionAndAReconnectShowsWithinTheBound)
{
    // This process plays the terminal: its connection to the broker.
    BrokerConnection broker;
    ASSERT_TRUE(broker);
    COrderPath path;
    path.attachTerminal(GetCurrentProcessId());
    EXPECT_EQ(path.brokerAddress(), L"127.0.0.5");

    // On the system's own tables, with a clock of the test's.
    TestClock clock;
    BrokerIdentity identity(SystemTcpReadings(), clock.Function());
    EXPECT_EQ(identity.ForAttempt(GetCurrentProcessId()), L"127.0.0.5");
    broker.Reconnect("127.0.0.6");
    ASSERT_TRUE(broker);
    // Within the bound the look-up before the reconnect serves, with no table read; the first attempt
    // past it carries the new server.
    clock.Advance(identityServesFor - std::chrono::milliseconds(1));
    EXPECT_EQ(identity.ForAttempt(GetCurrentProcessId()), L"127.0.0.5");
    EXPECT_EQ(identity.ownerTableReads(), 1);
    clock.Advance(std::chrono::milliseconds(2));
    EXPECT_EQ(identity.ForAttempt(GetCurrentProcessId()), L"127.0.0.6");
    EXPECT_EQ(identity.ownerTableReads(), 2) << "the old row was gone";
}

TEST(IdentityHash, BrokerRowIsTheProcesssFirstWithARemoteAddressAndStandsWhileListed)
{
    // Windows lists a listening socket of the terminal first (wine gives it no owner); its remote address
    // 0 is no broker's.
    std::vector<unsigned char> owners(offsetof(MIB_TCPTABLE_OWNER_PID, table) + 3 * sizeof(MIB_TCPROW_OWNER_PID));
    auto* rows = reinterpret_cast<MIB_TCPTABLE_OWNER_PID*>(owners.data());
    rows->dwNumEntries = 3;
    rows->table[0] = {MIB_TCP_STATE_ESTAB, 1, 1, inet_addr("10.0.0.9"), 0, 7};  // another process's
    rows->table[1] = {MIB_TCP_STATE_LISTEN, 2, 2, 0, 0, 42};
    rows->table[2] = {MIB_TCP_STATE_ESTAB, 3, 3, inet_addr("10.1.2.3"), 4, 42};
    const std::optional<TcpRowKey> found = FindBrokerRow(owners, 42);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->remoteAddress, inet_addr("10.1.2.3"));
    EXPECT_FALSE(FindBrokerRow(owners, 5));
    rows->table[0].dwOwningPid = 42;
    EXPECT_EQ(FindBrokerRow(owners, 42)->remoteAddress, inet_addr("10.0.0.9")) << "the first in the table's order";
    rows->dwNumEntries = 1000;  // a count past the rows read
    EXPECT_TRUE(FindBrokerRow(owners, 42));

    // The same connections without owners: the row stands while it is listed in its state, wherever.
    const auto basic = [](std::vector<MIB_TCPROW> list) {
        std::vector<unsigned char> table(offsetof(MIB_TCPTABLE, table) + list.size() * sizeof(MIB_TCPROW));
        reinterpret_cast<MIB_TCPTABLE*>(table.data())->dwNumEntries = DWORD(list.size());
        std::copy(list.begin(), list.end(), reinterpret_cast<MIB_TCPTABLE*>(table.data())->table);
        return table;
    };
    const MIB_TCPROW other = {{MIB_TCP_STATE_ESTAB}, 1, 1, inet_addr("10.0.0.9"), 0};
    const MIB_TCPROW broker = {{MIB_TCP_STATE_ESTAB}, 3, 3, inet_addr("10.1.2.3"), 4};
    const MIB_TCPROW fresh = {{MIB_TCP_STATE_ESTAB}, 5, 5, inet_addr("10.7.7.7"), 6};
    MIB_TCPROW closing = broker;
    closing.dwState = MIB_TCP_STATE_TIME_WAIT;
    MIB_TCPROW otherPort = broker;
    otherPort.dwLocalPort = 9;
    EXPECT_TRUE(StillListed(*found, basic({other, broker})));
    EXPECT_TRUE(StillListed(*found, basic({fresh, broker, fresh}))) << "other programs' connections change nothing";
    EXPECT_FALSE(StillListed(*found, basic({other, closing}))) << "closed: a new pair may reuse the ports";
    EXPECT_FALSE(StillListed(*found, basic({other, otherPort}))) << "another connection to the same server";
    EXPECT_FALSE(StillListed(*found, basic({other})));
    EXPECT_FALSE(StillListed(*found, {})) << "no table at all";
}

namespace {

// The system's TCP tables and counters as Windows and wine keep them, for the proofs of the broker row.
enum class TcpRules { Windows, Wine };

class TcpModel {
public:
    explicit TcpModel(TcpRules rules) : rules_(rules) {}

    // A connection in a state, listed at a place in the table (the end by default); the counters as if it
    // had got there long ago. I/O done: wine names the owner only then.
    int Add(DWORD owner, DWORD state, DWORD remoteAddress, size_t place = SIZE_MAX, bool io = true)
    {
        const Connection connection = {{state, inet_addr("10.0.0.1"), nextPort_++, remoteAddress, 443}, owner, io};
        place = std::min(place, connections_.size());
        connections_.insert(connections_.begin() + ptrdiff_t(place), connection);
        counters_.currentlyEstablished += Counted(state);
        return int(place);
    }
    // A connection opened from here: half open, and one more active open.
    int Connect(DWORD owner, DWORD remoteAddress, size_t place = SIZE_MAX)
    {
        ++counters_.activeOpens;
        return Add(owner, MIB_TCP_STATE_SYN_SENT, remoteAddress, place, false);
    }
    // Its next state; MIB_TCP_STATE_DELETE_TCB: gone from the table.
    void Move(DWORD remoteAddress, DWORD state)
    {
        const auto it = std::find_if(connections_.begin(), connections_.end(),
                                     [&](const Connection& c) { return c.key.remoteAddress == remoteAddress; });
        ASSERT_NE(it, connections_.end());
        const DWORD old = it->key.state;
        counters_.currentlyEstablished += Counted(state) - Counted(old);
        if (state == MIB_TCP_STATE_DELETE_TCB && (old == MIB_TCP_STATE_SYN_SENT || old == MIB_TCP_STATE_SYN_RCVD))
            ++counters_.attemptFails;
        if (state == MIB_TCP_STATE_DELETE_TCB)
            connections_.erase(it);
        else
            it->key.state = state;
    }
    // The other end of a connection on this machine, owned by another process.
    void AddOtherEnd(DWORD remoteAddress, DWORD owner, size_t place)
    {
        const auto it = std::find_if(connections_.begin(), connections_.end(),
                                     [&](const Connection& c) { return c.key.remoteAddress == remoteAddress; });
        ASSERT_NE(it, connections_.end());
        Connection end = *it;
        end.key = {it->key.state, it->key.remoteAddress, it->key.remotePort, it->key.localAddress, it->key.localPort};
        end.owner = owner;
        ++counters_.passiveOpens;
        counters_.currentlyEstablished += Counted(end.key.state);
        connections_.insert(connections_.begin() + ptrdiff_t(std::min(place, connections_.size())), end);
    }
    std::vector<TcpRowKey> RowsOf(DWORD owner) const
    {
        std::vector<TcpRowKey> rows;
        for (const Connection& c : connections_)
            if (c.owner == owner)
                rows.push_back(c.key);
        return rows;
    }
    void FirstIo(DWORD remoteAddress)
    {
        for (Connection& c : connections_)
            c.io |= c.key.remoteAddress == remoteAddress;
    }
    // What happens while the next table is read: before its rows are read, and after.
    void DuringNextRead(std::function<void()> before, std::function<void()> after)
    {
        beforeRead_ = std::move(before);
        afterRead_ = std::move(after);
    }

    std::vector<unsigned char> OwnerTable() const
    {
        std::vector<unsigned char> table(offsetof(MIB_TCPTABLE_OWNER_PID, table) +
                                         connections_.size() * sizeof(MIB_TCPROW_OWNER_PID));
        auto* rows = reinterpret_cast<MIB_TCPTABLE_OWNER_PID*>(table.data());
        rows->dwNumEntries = DWORD(connections_.size());
        for (size_t i = 0; i < connections_.size(); ++i) {
            const TcpRowKey& k = connections_[i].key;
            rows->table[i] = {k.state, k.localAddress, k.localPort, k.remoteAddress, k.remotePort, ShownOwner(connections_[i])};
        }
        return table;
    }
    std::vector<unsigned char> BasicTable() const
    {
        std::vector<unsigned char> table(offsetof(MIB_TCPTABLE, table) + connections_.size() * sizeof(MIB_TCPROW));
        auto* rows = reinterpret_cast<MIB_TCPTABLE*>(table.data());
        rows->dwNumEntries = DWORD(connections_.size());
        for (size_t i = 0; i < connections_.size(); ++i) {
            const TcpRowKey& k = connections_[i].key;
            rows->table[i] = {{k.state}, k.localAddress, k.localPort, k.remoteAddress, k.remotePort};
        }
        return table;
    }
    TcpReadings Readings()
    {
        const auto read = [this](std::vector<unsigned char>& table, bool owners) {
            if (beforeRead_)
                std::exchange(beforeRead_, nullptr)();
            table = owners ? OwnerTable() : BasicTable();
            if (afterRead_)
                std::exchange(afterRead_, nullptr)();
            return true;
        };
        return {[this] { return std::optional<TcpCounters>(counters_); },
                [read](std::vector<unsigned char>& table) { return read(table, false); },
                [read](std::vector<unsigned char>& table) { return read(table, true); }};
    }
    // The remote address a look-up in the table with owners gives now.
    DWORD LookUp(DWORD process) const
    {
        const std::optional<TcpRowKey> found = FindBrokerRow(OwnerTable(), process);
        return found ? found->remoteAddress : 0;
    }

private:
    struct Connection {
        TcpRowKey key;
        DWORD owner;
        bool io;
    };
    DWORD Counted(DWORD state) const
    {
        return state == MIB_TCP_STATE_ESTAB || (rules_ == TcpRules::Windows && state == MIB_TCP_STATE_CLOSE_WAIT);
    }
    DWORD ShownOwner(const Connection& c) const
    {
        // Windows: a connection waiting after its close belongs to no process. Wine: only one the process
        // has done I/O on shows its owner, and none that waits.
        if (c.key.state == MIB_TCP_STATE_TIME_WAIT || (rules_ == TcpRules::Wine && !c.io))
            return 0;
        return c.owner;
    }

    TcpRules rules_;
    std::vector<Connection> connections_;
    TcpCounters counters_ = {100, 50, 0, 0, 0};
    DWORD nextPort_ = 50000;
    std::function<void()> beforeRead_, afterRead_;
};

}  // namespace

TEST(IdentityHash, KeptBrokerRowStandsWhileListedAndIsLookedUpAgainOnceGoneOnBothSystems)
{
    constexpr DWORD terminal = 42, other = 7, panel = 99;
    const DWORD broker = inet_addr("10.1.1.1"), second = inet_addr("10.1.1.2"), elsewhere = inet_addr("10.9.9.9");
    const DWORD service = inet_addr("10.5.5.5");
    struct Sequence {
        const char* name;
        std::function<void(TcpModel&)> before;  // the tables at the first look-up
        std::function<void(TcpModel&)> change;  // then, before the next
        bool kept;  // the row found first stands; otherwise the next look-up finds what the owners say then
        int ownerReads;  // reads of the table with owners in all, or -1 when either is right
    };
    const std::vector<Sequence> sequences = {
        {"nothing changes", [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [](TcpModel&) {}, true, 1},
        {"another process connects, a browser's pattern",
         [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [&](TcpModel& m) {
             m.Connect(other, elsewhere, 0);
             m.Move(elsewhere, MIB_TCP_STATE_ESTAB);
             m.Move(elsewhere, MIB_TCP_STATE_TIME_WAIT);
         },
         true, 1},
        {"a new connection of the terminal's listed first",
         [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [&](TcpModel& m) {
             m.Connect(terminal, second, 0);
             m.FirstIo(second);
             m.Move(second, MIB_TCP_STATE_ESTAB);
         },
         true, 1},
        {"the panel connects to the service, listed first, both ends",
         [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [&](TcpModel& m) {
             m.Connect(panel, service, 0);
             m.FirstIo(service);
             m.Move(service, MIB_TCP_STATE_ESTAB);
             m.AddOtherEnd(service, other, 0);
         },
         true, 1},
        {"a socket ahead shows its owner at its first I/O",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
             m.Add(terminal, MIB_TCP_STATE_ESTAB, second, 0, false);
         },
         [&](TcpModel& m) { m.FirstIo(second); }, true, 1},
        {"a half-open first row fails",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
             m.Connect(terminal, second, 0);
             m.FirstIo(second);
         },
         [&](TcpModel& m) { m.Move(second, MIB_TCP_STATE_DELETE_TCB); }, false, 2},
        {"reconnected: a new connection established and the old one closed",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
             m.Connect(terminal, second);
             m.FirstIo(second);
         },
         [&](TcpModel& m) {
             m.Move(second, MIB_TCP_STATE_ESTAB);
             m.Move(broker, MIB_TCP_STATE_DELETE_TCB);
         },
         false, 2},
        {"the row closing from here goes to TIME-WAIT",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_FIN_WAIT2, broker);
             m.Add(terminal, MIB_TCP_STATE_ESTAB, second);
         },
         [&](TcpModel& m) { m.Move(broker, MIB_TCP_STATE_TIME_WAIT); }, false, 2},
        {"a row the service closed goes on to its end",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_CLOSE_WAIT, broker);
             m.Add(terminal, MIB_TCP_STATE_ESTAB, second);
         },
         [&](TcpModel& m) {
             m.Move(broker, MIB_TCP_STATE_LAST_ACK);
             m.Move(broker, MIB_TCP_STATE_DELETE_TCB);
         },
         false, 2},
        // Windows counts CLOSE-WAIT as established: its counters keep the row, wine's have it looked up.
        {"the service closes the row: it stays the terminal's",
         [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [&](TcpModel& m) { m.Move(broker, MIB_TCP_STATE_CLOSE_WAIT); }, false, -1},
        {"one connection completes and the row closes while the table is read",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
             m.Connect(terminal, second);
             m.FirstIo(second);
             m.DuringNextRead([&m, second] { m.Move(second, MIB_TCP_STATE_ESTAB); },
                              [&m, broker] { m.Move(broker, MIB_TCP_STATE_DELETE_TCB); });
         },
         [](TcpModel&) {}, false, 2},
    };
    for (const TcpRules rules : {TcpRules::Windows, TcpRules::Wine}) {
        for (const Sequence& sequence : sequences) {
            const char* system = rules == TcpRules::Windows ? "Windows" : "wine";
            TcpModel model(rules);
            sequence.before(model);
            BrokerRowKeeper keeper(model.Readings());
            const std::optional<TcpRowKey> first = keeper.LookUp(terminal);
            ASSERT_TRUE(first) << sequence.name << ", " << system;
            sequence.change(model);
            const DWORD expected = sequence.kept ? first->remoteAddress : model.LookUp(terminal);
            // Twice: the second after a first that may have kept counters.
            for (int again = 0; again < 2; ++again) {
                const std::optional<TcpRowKey> next = keeper.LookUp(terminal);
                EXPECT_EQ(next ? next->remoteAddress : 0, expected)
                    << sequence.name << ", " << system << ", look-up " << again + 2;
            }
            if (sequence.ownerReads >= 0) {
                EXPECT_EQ(keeper.ownerTableReads(), sequence.ownerReads) << sequence.name << ", " << system;
            }
        }
    }
}

TEST(IdentityHash, AnAttemptTakesALookUpThatServesAndWaitsForOneLookUpAtMost)
{
    constexpr DWORD terminal = 42;
    const DWORD broker = inet_addr("10.1.1.1"), second = inet_addr("10.1.1.2");
    TcpModel model(TcpRules::Wine);
    model.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
    // Every reading of the system counted, and held back while the test asks.
    std::atomic<int> readings{0}, attemptReadings{0};
    std::atomic<DWORD> attemptThread{0};
    std::atomic<bool> holdReadings{false}, holding{false};
    TcpReadings counted = model.Readings();
    const auto counting = [&](auto read) {
        return [&, read](auto&... table) {
            ++readings;
            if (GetCurrentThreadId() == attemptThread)
                ++attemptReadings;
            while (holdReadings) {
                holding = true;
                Sleep(1);
            }
            return read(table...);
        };
    };
    counted.counters = counting(counted.counters);
    counted.basicTable = counting(counted.basicTable);
    counted.ownerTable = counting(counted.ownerTable);
    TestClock clock;
    std::atomic<int> clockReads{0};
    BrokerIdentity identity(counted, [&, time = clock.Function()] {
        ++clockReads;
        return time();
    });
    const auto asText = [](DWORD address) {
        in_addr dotted;
        dotted.S_un.S_addr = address;
        const std::string text = inet_ntoa(dotted);
        return std::wstring(text.begin(), text.end());
    };

    EXPECT_TRUE(identity.Due(terminal)) << "nothing looked up yet";
    EXPECT_EQ(identity.ForAttempt(terminal), asText(broker));
    EXPECT_FALSE(identity.Due(terminal));
    EXPECT_TRUE(identity.Due(terminal + 1)) << "another terminal";

    // While it serves, an attempt reads nothing at all.
    const int afterFirst = readings;
    clock.Advance(identityServesFor);
    EXPECT_EQ(identity.ForAttempt(terminal), asText(broker));
    EXPECT_EQ(readings, afterFirst);

    // Renewed ahead of a press once it is due, and not before.
    clock.Advance(identityRenewedAfter - identityServesFor - std::chrono::milliseconds(1));
    EXPECT_FALSE(identity.Due(terminal));
    EXPECT_TRUE(identity.Due(terminal, identityRenewedOnLeave)) << "as the pointer leaves, sooner";
    identity.RenewIfDue(terminal);
    EXPECT_EQ(readings, afterFirst);
    clock.Advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(identity.Due(terminal));
    identity.RenewIfDue(terminal);
    EXPECT_GT(readings, afterFirst);
    EXPECT_EQ(identity.ownerTableReads(), 1) << "the row was still listed";

    // The terminal reconnects: the renewed look-up serves out its bound, then the new server shows.
    model.Connect(terminal, second);
    model.FirstIo(second);
    model.Move(second, MIB_TCP_STATE_ESTAB);
    model.Move(broker, MIB_TCP_STATE_DELETE_TCB);
    clock.Advance(identityServesFor);
    const int beforeServed = readings;
    EXPECT_EQ(identity.ForAttempt(terminal), asText(broker));
    EXPECT_EQ(readings, beforeServed);
    clock.Advance(std::chrono::milliseconds(1));
    EXPECT_EQ(identity.ForAttempt(terminal), asText(second));
    EXPECT_EQ(identity.ownerTableReads(), 2);

    // A renewal that runs while the last look-up still serves holds no attempt back.
    holdReadings = true;
    const win::UniqueHandleObject early =
        win::StartThread([&] { identity.RenewIfDue(terminal, std::chrono::milliseconds(0)); });
    ASSERT_TRUE(early);
    ASSERT_TRUE(harness::WaitUntil([&] { return holding.load(); }, 5000));
    EXPECT_EQ(identity.ForAttempt(terminal), asText(second)) << "taken while the renewal is held";
    holdReadings = false;
    ASSERT_EQ(WaitForSingleObject(early.get(), 5000), WAIT_OBJECT_0);
    holding = false;

    // An attempt that comes while a look-up runs waits for it and takes its answer: one look-up, not two.
    clock.Advance(identityServesFor + std::chrono::milliseconds(1));
    holdReadings = true;
    const win::UniqueHandleObject renewing = win::StartThread([&] { identity.RenewIfDue(terminal); });
    ASSERT_TRUE(renewing);
    ASSERT_TRUE(harness::WaitUntil([&] { return holding.load(); }, 5000));
    const int clockBefore = clockReads;
    std::wstring atAttempt;
    const win::UniqueHandleObject attempt = win::StartThread([&] {
        attemptThread = GetCurrentThreadId();
        atAttempt = identity.ForAttempt(terminal);
    });
    ASSERT_TRUE(attempt);
    ASSERT_TRUE(harness::WaitUntil([&] { return clockReads > clockBefore; }, 5000)) << "the attempt has started";
    holdReadings = false;
    ASSERT_EQ(WaitForSingleObject(attempt.get(), 5000), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(renewing.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(atAttempt, asText(second));
    EXPECT_EQ(attemptReadings, 0) << "the running look-up served the attempt";

    // A table that cannot be read gives its attempt the empty address and serves no other.
    bool unreadable = true;
    TcpReadings failing = model.Readings();
    failing.ownerTable = [&, read = failing.ownerTable](std::vector<unsigned char>& table) {
        return !std::exchange(unreadable, false) && read(table);
    };
    BrokerIdentity once(failing, clock.Function());
    EXPECT_EQ(once.ForAttempt(terminal), L"");
    EXPECT_TRUE(once.Due(terminal));
    EXPECT_EQ(once.ForAttempt(terminal), asText(second));
}

namespace {

struct Vector {
    std::wstring keySource;
    std::string plain;
    std::wstring cipherHex;
};

// Made by openssl outside the panel (make_des_vectors.sh).
std::vector<Vector> KnownAnswers()
{
    std::vector<Vector> vectors;
    std::ifstream file(BesideTests(L"des_vectors.txt").c_str());
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string source, plainHex, cipher;
        std::getline(fields, source, '\t');
        std::getline(fields, plainHex, '\t');
        std::getline(fields, cipher, '\t');
        std::string plain;
        for (size_t i = 0; i + 1 < plainHex.size(); i += 2)
            plain += static_cast<char>(std::stoi(plainHex.substr(i, 2), nullptr, 16));
        vectors.push_back({std::wstring(source.begin(), source.end()), plain, std::wstring(cipher.begin(), cipher.end())});
    }
    return vectors;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = towlower(c);
    return text;
}

}  // namespace

TEST(ReplyDecoding, KnownAnswersDecodeUnderTheHashKey)
{
    const std::vector<Vector> vectors = KnownAnswers();
    ASSERT_EQ(vectors.size(), 4u);
    COrderPath path;
    for (const Vector& v : vectors) {
        const std::string upToZero = v.plain.substr(0, v.plain.find('\0'));
        const std::wstring expected(upToZero.begin(), upToZero.end());
        EXPECT_EQ(path.Decrypt(v.cipherHex, v.keySource), expected);
        EXPECT_EQ(path.Decrypt(Lower(v.cipherHex), v.keySource), expected) << "lower-case digits";
    }
    // Two whole blocks of text and nothing more.
    EXPECT_EQ(path.Decrypt(vectors[2].cipherHex, vectors[2].keySource), L"SIXTEEN-LETTERS!");
    // A zero byte in the middle ends the text.
    EXPECT_EQ(path.Decrypt(vectors[3].cipherHex, vectors[3].keySource), L"AB");
}

TEST(ReplyDecoding, ShortOddAndForeignRepliesGiveTextNotErrors)
{
    COrderPath path;
    EXPECT_EQ(path.Decrypt(L"", L"10.0.0.1"), L"");
    // Nine digits: four bytes completed with zero bytes to one block, the ninth digit ignored.
    EXPECT_EQ(path.Decrypt(L"39D28E72F", L"10.0.0.1"), path.Decrypt(L"39D28E7200000000", L"10.0.0.1"));
    // Another terminal's key gives bytes, not a failure.
    const std::vector<Vector> vectors = KnownAnswers();
    ASSERT_FALSE(vectors.empty());
    EXPECT_NE(path.Decrypt(vectors[0].cipherHex, L"10.9.9.9"), L"<Order Type=\"BUY\" Volume=\"0.01\"/>");
}

TEST(ReplyDecoding, HexPairsNeverWritePastTheDestination)
{
    unsigned char bytes[8];
    std::fill(std::begin(bytes), std::end(bytes), 0xEE);
    hexToBytes(bytes, 3, L"41424344454647");
    EXPECT_EQ(bytes[0], 0x41);
    EXPECT_EQ(bytes[2], 0x43);
    EXPECT_EQ(bytes[3], 0xEE) << "past the destination";
    hexToBytes(bytes, 8, L"zz4g");
    EXPECT_EQ(bytes[0], 0x00) << "no valid prefix";
    EXPECT_EQ(bytes[1], 0x04) << "the valid prefix";
}

TEST(StandInService, AnswersWithACommandThePanelDecodes)
{
    // The stand-in service on a free loopback port.
    Winsock winsock;
    const int port = FreeLoopbackPort();
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    std::wstring line = L"service.exe --endpoint 127.0.0.1:" + std::to_wstring(port);
    ASSERT_TRUE(CreateProcessW(BesideTests(L"service.exe").c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &info));
    COrderPath path;
    OrderRequest request = FullRequest();
    request.hash = "8882632B7F0DFFA4D723AB9CF17BEDB55690BA5B";  // the identity of an empty broker address
    std::string reply;
    int status = -1;
    for (int attempt = 0; attempt < 50 && status != 0; ++attempt, Sleep(100))
        status = SendOrderComp("http://127.0.0.1:" + std::to_string(port) + "/Pellantix/Pellantix.svc", request, reply);
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    ASSERT_EQ(status, 0);
    const std::wstring command = path.Decrypt(std::wstring(reply.begin(), reply.end()), L"");
    EXPECT_EQ(command.rfind(L"<Order Type=\"SELL\" Volume=\"0.01\" SL=\"15\" TP=\"30\" SetSLTPonME=\"1\" "
                            L"Comp=\"Broker Ltd.\" Id=\"", 0),
              0u)
        << std::string(command.begin(), command.end());
}

TEST(ReplyDecoding, HugeOddAndNonHexRepliesStayBounded)
{
    COrderPath path;
    // A megabyte of hexadecimal text: half a megabyte of bytes, decoded up to the first zero byte.
    const std::wstring huge(2'000'000, L'A');
    const std::wstring text = path.Decrypt(huge, L"10.0.0.1");
    EXPECT_LE(text.size(), 1'000'000u);
    EXPECT_EQ(path.Decrypt(L"ABC", L"10.0.0.1"), path.Decrypt(L"AB00000000000000", L"10.0.0.1"));
    // Not hexadecimal at all: pairs without a valid prefix are zero bytes, whatever the characters.
    EXPECT_EQ(path.Decrypt(L"zz\u00E9\u4E2Dqq!!", L"10.0.0.1"), path.Decrypt(L"0000000000000000", L"10.0.0.1"));
}

TEST(OrderCall, ReplyOverTheLimitFailsAndOneUnderItIsRead)
{
    // Only 500 bytes of a command can be used: a megabyte would be copied and decrypted for nothing.
    Winsock winsock;
    for (const size_t size : {size_t{1} << 20, size_t{32} << 10}) {
        const std::string result(size, 'F');
        OneShotServer server(Http(Soap11("<OrderCompResponse xmlns=\"http://tempuri.org/\"><OrderCompResult>" +
                                         result + "</OrderCompResult></OrderCompResponse>")));
        std::string received;
        const int status = SendOrderComp(server.Endpoint(), FullRequest(), received);
        EXPECT_EQ(status == 0, size < replyLimitBytes) << size;
    }
}

TEST(OrderCall, ControlCharactersNeverReachTheWire)
{
    // Pasted into a list, they would go out as character references that XML 1.0 forbids.
    Winsock winsock;
    OneShotServer server(Http(Soap11(goodResponse)));
    OrderRequest request = FullRequest();
    request.volume = "0.\x01" "01\x1F";
    request.stopLoss = "1\t5\x0B";
    request.takeProfit = std::string("3\x00" "0", 3);
    std::string result;
    ASSERT_EQ(SendOrderComp(server.Endpoint(), request, result), 0);
    const std::string& wire = server.received();
    EXPECT_NE(wire.find("<ns1:Volume>0.01</ns1:Volume><ns1:SL>1\t5</ns1:SL><ns1:TP>30</ns1:TP>"), std::string::npos)
        << wire;
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
    EXPECT_GE(path.endpoints().selectedServer, 0) << "the faster of the two, which both answer on loopback";
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

TEST(IdentityHash, NoTerminalProcessGivesTheEmptyAddress)
{
    // A connection closed from this side stays in TIME_WAIT, a row that belongs to no process (id 0).
    Winsock winsock;
    OneShotServer server(Http(Soap11(goodResponse)));
    std::string result;
    ASSERT_EQ(SendOrderComp(server.Endpoint(), FullRequest(), result), 0);
    COrderPath path;
    path.attachTerminal(0);
    EXPECT_EQ(path.brokerAddress(), L"");
}

TEST(IdentityHash, TableIsReadOnceWhenItFitsAndAskedAgainWhenItGrew)
{
    // Wine builds the whole table for each call: a desktop's table is read with one call, no size query.
    DWORD rows = 50;
    int calls = 0;
    const auto table = [&](void* buffer, DWORD* size) -> DWORD {
        ++calls;
        const DWORD needed = sizeof(DWORD) + rows * sizeof(MIB_TCPROW_OWNER_PID);
        if (!buffer || *size < needed) {
            *size = needed;
            return ERROR_INSUFFICIENT_BUFFER;
        }
        static_cast<MIB_TCPTABLE_OWNER_PID*>(buffer)->dwNumEntries = rows;
        return NO_ERROR;
    };
    std::vector<unsigned char> read;
    ASSERT_TRUE(ReadSizedTable(table, read));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(read.data())->dwNumEntries, 50u);

    // One larger than the first room is asked again with the size it named, and room for a few more rows.
    rows = initialTableBytes / sizeof(MIB_TCPROW_OWNER_PID) + 10;
    calls = 0;
    ASSERT_TRUE(ReadSizedTable(table, read));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(read.data())->dwNumEntries, rows);

    // Another process opens connections between the calls, past the room each time: asked again.
    int grown = 0;
    const auto growing = [&](void* buffer, DWORD* size) -> DWORD {
        if (grown++ < 2)
            rows = rows * 2 + initialTableBytes;  // past any room given
        return table(buffer, size);
    };
    ASSERT_TRUE(ReadSizedTable(growing, read));
    EXPECT_EQ(reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(read.data())->dwNumEntries, rows);
    // One that never stops growing is given up, not asked forever.
    grown = -1000;
    EXPECT_FALSE(ReadSizedTable(growing, read));

    // A size past any system's table is refused, not allocated.
    const auto huge = [](void*, DWORD* size) -> DWORD {
        *size = 0xFFFFFFF0;
        return ERROR_INSUFFICIENT_BUFFER;
    };
    EXPECT_FALSE(ReadSizedTable(huge, read));
    const auto failing = [](void*, DWORD*) -> DWORD { return ERROR_NOT_SUPPORTED; };
    EXPECT_FALSE(ReadSizedTable(failing, read));
}

TEST(TlsPolicy, PinsAreBase64Sha256DigestsAndOneOfThemMustBeInTheChain)
{
    const auto pins = ParseKeyPins("qVn7jluvOOgrNb7RRBkvl0OutQ1chYh+HLVnb+OoyDM=; gUhlfGb2Wodt6E8nYHERKlN7YaJtEX0hfiNhyujGs5s=");
    ASSERT_TRUE(pins);
    ASSERT_EQ(pins->size(), 2u);
    EXPECT_EQ((*pins)[0][0], 0xA9);  // "qVn7" is A9 59 FB
    EXPECT_EQ((*pins)[0][2], 0xFB);
    EXPECT_EQ((*pins)[1][31], 0x9B);  // "s5s=": the last byte, two spare bits zero
    EXPECT_TRUE(ParseKeyPins("") && ParseKeyPins("")->empty()) << "no pins: any trusted chain";
    for (const char* bad : {"qVn7jluvOOgrNb7RRBkvl0OutQ1chYh+HLVnb+OoyDM",  // no padding: not 32 bytes
                            "qVn7jluvOOgrNb7RRBkvl0OutQ1chYh+HLVnb+OoyDN=",  // spare bits set
                            "qVn7jluvOOgrNb7RRBkvl0OutQ1chYh-HLVnb+OoyDM=",  // not base64
                            "sha256/qVn7jluvOOgrNb7RRBkvl0OutQ1chYh+HLVnb+OoyDM="})
        EXPECT_FALSE(ParseKeyPins(bad)) << bad;

    const KeyPin leaf = (*pins)[0], other = (*pins)[1], root{};
    EXPECT_TRUE(ChainHoldsPin({leaf, root}, {}));
    EXPECT_TRUE(ChainHoldsPin({leaf, root}, {other, root}));
    EXPECT_FALSE(ChainHoldsPin({leaf}, {other}));
    EXPECT_FALSE(ChainHoldsPin({}, {other}));
}

TEST(TlsPolicy, ChainShapeAsksForCaIssuersAndALeafForServers)
{
    const std::vector<std::string> server{"1.3.6.1.5.5.7.3.1"}, client{"1.3.6.1.5.5.7.3.2"},
        any{"2.5.29.37.0"};
    const ChainLink leaf{false, std::nullopt, false, server}, ca{true, std::nullopt, true, std::nullopt},
        oldRoot{};
    EXPECT_TRUE(ChainShapeHolds({leaf, ca}));
    EXPECT_TRUE(ChainShapeHolds({leaf, ca, ca}));
    EXPECT_TRUE(ChainShapeHolds({leaf, ca, oldRoot})) << "a root of the store without basic constraints";
    EXPECT_TRUE(ChainShapeHolds({ChainLink{}, ca})) << "a leaf without extended key usage serves any purpose";
    EXPECT_TRUE(ChainShapeHolds({leaf})) << "a leaf the store trusts itself";
    EXPECT_FALSE(ChainShapeHolds({}));

    const auto issuer = [&](std::optional<bool> isCa, std::optional<unsigned> path, std::optional<bool> signs,
                            std::optional<std::vector<std::string>> usages) {
        return ChainLink{isCa, path, signs, std::move(usages)};
    };
    // The leaf: made for clients only.
    EXPECT_FALSE(ChainShapeHolds({ChainLink{false, std::nullopt, false, client}, ca}));
    EXPECT_FALSE(ChainShapeHolds({ChainLink{false, std::nullopt, false, any}, ca})) << "servers must be named";
    // An intermediate: no CA, no basic constraints, a key that signs no certificates, for clients only.
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(false, {}, true, {}), ca}));
    EXPECT_FALSE(ChainShapeHolds({leaf, oldRoot, ca}));
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(true, {}, false, {}), ca}));
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(true, {}, true, client), ca}));
    EXPECT_TRUE(ChainShapeHolds({leaf, issuer(true, {}, true, any), issuer(true, {}, true, server)}));
    // The root too, where it says so.
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(false, {}, true, {})}));
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(true, {}, true, client)}));
    // Path lengths count the CAs between an issuer and the leaf.
    EXPECT_TRUE(ChainShapeHolds({leaf, issuer(true, 0u, true, {}), ca}));
    EXPECT_FALSE(ChainShapeHolds({leaf, ca, issuer(true, 0u, true, {}), ca}));
    EXPECT_TRUE(ChainShapeHolds({leaf, ca, issuer(true, 1u, true, {})}));
}

// The request on the wire and the replies read back: bytes, bounds, limits.
#include "tests/unit/order_path_fixtures.h"

using namespace orderpath;

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

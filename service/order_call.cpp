#include "service/order_call.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <wininet.h>

#include "BasicHttpBinding_USCOREIPellantix.nsmap"
#include "exchange/ansi_text.h"
#include "service/endpoints.h"
#include "service/tls_channel.h"
#include "service/winsock_session.h"
#include "soapBasicHttpBinding_USCOREIPellantixProxy.h"
#include "win/win_handles.h"

namespace {

inline BOOL CloseSocket(SOCKET socket) { return closesocket(socket) == 0; }
using UniqueSocket = win::UniqueHandle<SOCKET, CloseSocket, INVALID_SOCKET>;

// The runtime context of one call and everything it allocated.
inline BOOL FreeContext(soap* context)
{
    soap_destroy(context);
    soap_end(context);
    soap_free(context);
    return TRUE;
}
using UniqueContext = win::UniqueHandle<soap*, FreeContext>;


// The endpoint as the call connects to it.
struct Target {
    ULONG address = INADDR_NONE;
    unsigned short port = 0;
    std::wstring host;
    const TlsPolicy* tls = nullptr;  // null for http
};

// What the runtime's callbacks of one call need: where to connect, by when the exchange must be over, the
// runtime's own reads and writes, which they bound, and for https the channel all bytes pass through.
struct BoundedCall {
    Target target;
    std::unique_ptr<ConnectionAhead> ahead;  // made before the press, if any
    std::unique_ptr<TlsChannel> channel;
    std::chrono::steady_clock::time_point deadline;
    size_t (*receive)(soap*, char*, size_t) = nullptr;
    int (*send)(soap*, const char*, size_t) = nullptr;
    const char* connectFailure = nullptr;  // why the connection (TCP, TLS) failed, when it did
    // The request's identity, given once the connection stands, into the text the request was counted with.
    std::function<std::string()> identity;
    std::string* hash = nullptr;
    bool identityFailed = false;  // no fault of the endpoint's
};

BoundedCall& CallOf(soap* soap) { return *static_cast<BoundedCall*>(soap->user); }

// What is left of the exchange bound as the runtime takes a time limit: negative for microseconds. 0 once
// it has passed.
int TimeLeft(const BoundedCall& call)
{
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(call.deadline -
                                                                            std::chrono::steady_clock::now());
    return left.count() > 0 ? -static_cast<int>(left.count()) : 0;
}

size_t ReceiveWithinBound(soap* soap, char* buffer, size_t length)
{
    BoundedCall& call = CallOf(soap);
    soap->recv_timeout = TimeLeft(call);
    if (soap->recv_timeout == 0)
        return 0;  // the reply ends here, and fails as a cut one
    if (call.channel)
        return call.channel->Receive(buffer, length, call.deadline);
    return call.receive(soap, buffer, length);
}

int SendWithinBound(soap* soap, const char* data, size_t length)
{
    BoundedCall& call = CallOf(soap);
    soap->send_timeout = TimeLeft(call);
    if (soap->send_timeout == 0)
        return SOAP_EOF;
    if (call.channel)
        return call.channel->Send(data, length, call.deadline) ? SOAP_OK : SOAP_EOF;
    return call.send(soap, data, length);
}

// Connects to the address the selection echoed, not to whatever a new lookup of the name would list first.
// Winsock tells a refused connection in the exception set of select, not the write set the SOAP runtime
// waits on, so with its own connect a refused endpoint costs the whole connect bound before the retry.
// This one waits on both: a refusal fails at once. For https the handshake and the certificate's check
// follow within the exchange bound (from the connection on), before a byte of any request. Nothing on
// success, otherwise why it failed.
const char* Connect(const Target& target, UniqueSocket& connection, std::unique_ptr<TlsChannel>& channel,
                    std::chrono::steady_clock::time_point& deadline)
{
    if (target.address == INADDR_NONE)
        return "Host not found";
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(target.port);
    address.sin_addr.s_addr = target.address == 0 ? htonl(INADDR_LOOPBACK) : target.address;
    connection.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    u_long nonBlocking = 1;
    if (!connection || ioctlsocket(connection, FIONBIO, &nonBlocking) != 0)
        return "Connection refused";
    // The request leaves in several writes (head, body, TLS records): with Nagle's rule each one after the
    // first would wait for the service's acknowledgement, a whole round trip of the network.
    const BOOL noDelay = TRUE;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    bool connected = connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(connection.get(), &writable);
        FD_SET(connection.get(), &failed);
        const auto bound = std::chrono::duration_cast<std::chrono::microseconds>(connectBound).count();
        timeval wait = {static_cast<long>(bound / 1000000), static_cast<long>(bound % 1000000)};
        const int ready = select(0, nullptr, &writable, &failed, &wait);
        if (ready == 0)
            return "Timeout";
        int error = 0;
        int length = sizeof error;
        connected = ready > 0 && FD_ISSET(connection.get(), &writable) && !FD_ISSET(connection.get(), &failed) &&
                    getsockopt(connection.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) ==
                        0 &&
                    error == 0;
    }
    if (!connected)
        return "Connection refused";
    // Left non-blocking: every read and write waits within the bound.
    deadline = std::chrono::steady_clock::now() + exchangeBound;
    if (!target.tls)
        return nullptr;
    channel = std::make_unique<TlsChannel>();
    switch (channel->Open(connection, target.host, *target.tls, deadline)) {
    case TlsFailure::none:
        return nullptr;
    case TlsFailure::certificate:
        channel.reset();
        return "Certificate refused";
    case TlsFailure::pin:
        channel.reset();
        return "Certificate without a pinned key";
    case TlsFailure::timeout:
        channel.reset();
        return "Timeout";
    case TlsFailure::handshake:
        break;
    }
    channel.reset();
    return "TLS handshake failed";
}

// The identity taken into the request once the connection stands. The runtime has counted the request's
// length already and writes it again after the connection: the identity must be as long as the text it was
// counted with (a SHA-1 digest is always 40 hexadecimal digits).
bool TakeIdentity(BoundedCall& call)
{
    if (!call.identity)
        return true;
    try {
        std::string identity = XmlCarriable(call.identity());
        if (identity.size() == call.hash->size()) {
            call.hash->swap(identity);
            return true;
        }
    } catch (...) {
        // Out of memory: the attempt fails, and no endpoint is to blame.
    }
    call.identityFailed = true;
    return false;
}

SOAP_SOCKET ConnectWithinBound(soap* soap, const char*, const char*, int)
{
    BoundedCall& call = CallOf(soap);
    // A connection made ahead carries this request when nothing has come from it; then the request and
    // the reply have the whole exchange bound from now.
    UniqueSocket connection;
    if (const std::unique_ptr<ConnectionAhead> ahead = std::move(call.ahead); ahead && ahead->Idle()) {
        call.channel = std::move(ahead->channel);
        call.deadline = std::chrono::steady_clock::now() + exchangeBound;
        connection.reset(std::exchange(ahead->socket, INVALID_SOCKET));
    } else if (const char* failure = Connect(call.target, connection, call.channel, call.deadline)) {
        call.connectFailure = failure;
        soap_set_receiver_error(soap, failure, "connect failed", SOAP_TCP_ERROR);
        return SOAP_INVALID_SOCKET;
    }
    if (!TakeIdentity(call)) {
        soap_set_receiver_error(soap, "no identity", "connect failed", SOAP_TCP_ERROR);
        return SOAP_INVALID_SOCKET;
    }
    return connection.release();
}

// The endpoint's scheme, host and port; false for a scheme other than http and https.
bool TargetOf(const std::string& endpoint, ULONG address, const TlsPolicy& tls, Target& target)
{
    // The scheme decides the connection, and nothing else does: https is TLS or no request at all.
    UrlParts parts;
    if (!crackUrl(FromAnsi(endpoint), parts))
        return false;
    const bool secure = parts.schemeNumber == INTERNET_SCHEME_HTTPS;
    if (!secure && parts.schemeNumber != INTERNET_SCHEME_HTTP)
        return false;
    target = {address, parts.port, parts.host, secure ? &tls : nullptr};
    return true;
}

}  // namespace

ConnectionAhead::~ConnectionAhead()
{
    if (socket != INVALID_SOCKET)
        closesocket(socket);
}

bool ConnectionAhead::Idle() const
{
    // Readable means the server has sent something or closed: a request on it could meet an old answer
    // or a reset, and be lost or doubled by the retry. An idle connection reads nothing yet.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval now = {0, 0};
    return socket != INVALID_SOCKET && select(0, &readable, nullptr, nullptr, &now) == 0;
}

std::chrono::milliseconds ConnectAheadPause(int failures)
{
    constexpr std::chrono::milliseconds first = std::chrono::seconds(1), longest = std::chrono::seconds(30);
    if (failures <= 0)
        return std::chrono::milliseconds(0);
    // 1, 2, 4, 8, 16, then 30 s: the shift stops before it could pass the longest.
    return std::min(longest, first * (1 << std::min(failures - 1, 5)));
}

ClockReading ClockReading::Now()
{
    return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()};
}

bool WithinOnBothClocks(const ClockReading& earlier, const ClockReading& later, std::chrono::milliseconds bound)
{
    const auto within = [bound](auto from, auto to) { return to >= from && to - from <= bound; };
    return within(earlier.steady, later.steady) && within(earlier.system, later.system);
}

std::unique_ptr<ConnectionAhead> ConnectAhead(const std::string& endpoint, ULONG address, const TlsPolicy& tls)
{
    Target target;
    if (!TargetOf(endpoint, address, tls, target))
        return nullptr;
    if (!WinsockStarted())
        return nullptr;
    auto ahead = std::make_unique<ConnectionAhead>();
    UniqueSocket connection;
    std::chrono::steady_clock::time_point deadline;
    if (Connect(target, connection, ahead->channel, deadline))
        return nullptr;
    ahead->endpoint = endpoint;
    ahead->address = address;
    ahead->socket = connection.release();
    return ahead;
}

std::string XmlCarriable(std::string text)
{
    // The runtime would write them as character references, which XML 1.0 forbids too.
    std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r'; });
    return text;
}

int SendOrderComp(const std::string& endpoint, const OrderRequest& request, std::string& result, const TlsPolicy& tls)
{
    return SendOrderComp(endpoint, resolveHost(FromAnsi(endpoint)), request, result, tls);
}

std::string DescribeCallFailure(int status, const char* connectFailure)
{
    if (connectFailure)
        return std::string("connect: ") + connectFailure;
    switch (status) {
    case SOAP_OK:
        return "none";
    case SOAP_TCP_ERROR:
        return "connect";
    case SOAP_EOF:
        return "time-out or closed";
    case SOAP_FAULT:
        return "SOAP fault";
    case SOAP_NO_DATA:
        return "no result";
    case SOAP_LENGTH:
        return "reply too long";
    default:
        if (status >= 100 && status < 600)
            return "HTTP " + std::to_string(status);
        return "error " + std::to_string(status);
    }
}

int SendOrderComp(const std::string& endpoint, ULONG address, const OrderRequest& request, std::string& result,
                  const TlsPolicy& tls, std::unique_ptr<ConnectionAhead> ahead, std::string* failure,
                  const std::function<std::string()>& identityOnceConnected)
{
    BoundedCall bounds;
    if (!TargetOf(endpoint, address, tls, bounds.target)) {
        if (failure)
            *failure = "not an http or https endpoint";
        return SOAP_TCP_ERROR;
    }
    if (ahead && ahead->endpoint == endpoint && ahead->address == address)
        bounds.ahead = std::move(ahead);
    // The connect below runs before the runtime would start Winsock itself.
    if (!WinsockStarted()) {
        if (failure)
            *failure = "no Winsock";
        return SOAP_TCP_ERROR;
    }
    // A fresh client per request: nothing (connection, buffers) lives on to the next one. The context is
    // made here because the proxy's own constructor would use it unchecked when there is no memory for it.
    const UniqueContext context(soap_new());
    if (!context)
        throw std::bad_alloc();
    BasicHttpBinding_USCOREIPellantixProxy proxy(context.get());
    proxy.soap_endpoint = endpoint.c_str();
    bounds.deadline = std::chrono::steady_clock::now() + connectBound + exchangeBound;
    bounds.receive = proxy.soap->frecv;
    bounds.send = proxy.soap->fsend;
    proxy.soap->user = &bounds;
    proxy.soap->fopen = ConnectWithinBound;
    proxy.soap->frecv = ReceiveWithinBound;
    proxy.soap->fsend = SendWithinBound;
    proxy.soap->recv_maxlength = replyLimitBytes;

    std::string hash = XmlCarriable(request.hash), company = XmlCarriable(request.company);
    std::string volume = XmlCarriable(request.volume), stopLoss = XmlCarriable(request.stopLoss);
    std::string takeProfit = XmlCarriable(request.takeProfit);
    std::string setSlTpOnMarket = XmlCarriable(request.setSlTpOnMarket);
    int type = request.type;
    _ns1__OrderComp call;
    call.HASH = &hash;
    call.Comp = &company;
    call.Type = &type;
    call.Volume = &volume;
    call.SL = &stopLoss;
    call.TP = &takeProfit;
    call.SetSLTPonME = &setSlTpOnMarket;
    _ns1__OrderCompResponse response;
    bounds.identity = identityOnceConnected;
    bounds.hash = &hash;

    int status = proxy.OrderComp(nullptr, nullptr, &call, response);
    if (bounds.identityFailed)
        throw std::bad_alloc();
    if (status == SOAP_OK && !response.OrderCompResult)
        status = SOAP_NO_DATA;
    if (status == SOAP_OK)
        result = *response.OrderCompResult;
    else if (failure)
        *failure = DescribeCallFailure(status, bounds.connectFailure);
    return status;
}

#include "service/order_call.h"

#include <new>
#include <string>
#include <utility>

#include <winsock2.h>
#include <ws2tcpip.h>

#include "soapBasicHttpBinding_USCOREIPellantixProxy.h"
#include "ui/win_handles.h"
#include "BasicHttpBinding_USCOREIPellantix.nsmap"

namespace {

inline BOOL CloseSocket(SOCKET socket) { return closesocket(socket) == 0; }
using UniqueSocket = win::UniqueHandle<SOCKET, CloseSocket, INVALID_SOCKET>;

inline BOOL FreeAddresses(addrinfo* addresses)
{
    freeaddrinfo(addresses);
    return TRUE;
}
using UniqueAddresses = win::UniqueHandle<addrinfo*, FreeAddresses>;

// The runtime context of one call and everything it allocated.
inline BOOL FreeContext(soap* context)
{
    soap_destroy(context);
    soap_end(context);
    soap_free(context);
    return TRUE;
}
using UniqueContext = win::UniqueHandle<soap*, FreeContext>;

// Winsock for the duration of one call: the connect below runs before the runtime would start it.
struct WinsockSession {
    WinsockSession() { started = WSAStartup(0x0202, &data) == 0; }
    ~WinsockSession()
    {
        if (started)
            WSACleanup();
    }
    WSADATA data;
    bool started = false;
};

// Winsock tells a refused connection in the exception set of select, not the write set the SOAP runtime
// waits on, so with its own connect a refused endpoint costs the whole connect bound before the retry.
// This one waits on both: a refusal fails at once.
SOAP_SOCKET ConnectWithinBound(soap* soap, const char*, const char* host, int port)
{
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int lookup = getaddrinfo(host, std::to_string(port).c_str(), &hints, &found);
    const UniqueAddresses addresses(lookup == 0 ? found : nullptr);
    if (!addresses) {
        soap_set_receiver_error(soap, "Host not found", "connect failed", SOAP_TCP_ERROR);
        return SOAP_INVALID_SOCKET;
    }
    const char* failure = "Connection refused";
    for (const addrinfo* address = addresses.get(); address; address = address->ai_next) {
        UniqueSocket connection(socket(address->ai_family, address->ai_socktype, address->ai_protocol));
        u_long nonBlocking = 1;
        if (!connection || ioctlsocket(connection, FIONBIO, &nonBlocking) != 0)
            continue;
        if (connect(connection, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0)
            return connection.release();
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            continue;
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(connection.get(), &writable);
        FD_SET(connection.get(), &failed);
        timeval bound = {connectTimeoutSeconds, 0};
        const int ready = select(0, nullptr, &writable, &failed, &bound);
        if (ready == 0) {
            failure = "Timeout";
            continue;
        }
        int error = 0;
        int length = sizeof error;
        if (ready > 0 && FD_ISSET(connection.get(), &writable) && !FD_ISSET(connection.get(), &failed) &&
            getsockopt(connection.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 &&
            error == 0)
            return connection.release();  // left non-blocking: the runtime bounds each read and write itself
    }
    soap_set_receiver_error(soap, failure, "connect failed", SOAP_TCP_ERROR);
    return SOAP_INVALID_SOCKET;
}

}  // namespace

std::string XmlCarriable(std::string text)
{
    // The runtime would write them as character references, which XML 1.0 forbids too.
    std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r'; });
    return text;
}

int SendOrderComp(const std::string& endpoint, const OrderRequest& request, std::string& result)
{
    WinsockSession winsock;
    // A fresh client per request: nothing (connection, buffers) lives on to the next one. The context is
    // made here because the proxy's own constructor would use it unchecked when there is no memory for it.
    const UniqueContext context(soap_new());
    if (!context)
        throw std::bad_alloc();
    BasicHttpBinding_USCOREIPellantixProxy proxy(context.get());
    proxy.soap_endpoint = endpoint.c_str();
    proxy.soap->connect_timeout = connectTimeoutSeconds;
    proxy.soap->send_timeout = sendTimeoutSeconds;
    proxy.soap->recv_timeout = receiveTimeoutSeconds;
    proxy.soap->transfer_timeout = transferTimeoutSeconds;
    proxy.soap->fopen = ConnectWithinBound;
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

    int status = proxy.OrderComp(nullptr, nullptr, &call, response);
    if (status == SOAP_OK && !response.OrderCompResult)
        status = SOAP_NO_DATA;
    if (status == SOAP_OK)
        result = *response.OrderCompResult;
    return status;
}

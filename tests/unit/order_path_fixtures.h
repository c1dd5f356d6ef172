// What the order path's unit tests share: Winsock as the panel has it, a canned loopback server, and the
// request and replies as they go on the wire.
#pragma once

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

namespace orderpath {

inline std::wstring BesideTests(const std::wstring& name)
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
inline int FreeLoopbackPort()
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

inline std::string Http(const std::string& body, const char* status = "200 OK")
{
    return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

inline std::string Soap11(const std::string& content)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<s:Body>" + content + "</s:Body></s:Envelope>";
}

inline const std::string goodResponse =
    "<OrderCompResponse xmlns=\"http://tempuri.org/\"><OrderCompResult>0A1B</OrderCompResult></OrderCompResponse>";

inline OrderRequest FullRequest()
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

inline const std::string envelopeOpen =
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:ns3=\"http://schemas.microsoft.com/2003/10/Serialization/\" xmlns:ns1=\"http://tempuri.org/\">";

inline std::string ExpectedMessage(int port, const std::string& fields)
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

}  // namespace orderpath

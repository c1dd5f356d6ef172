// The stand-in order service: answers the panel's OrderComp requests on the service's endpoints, as the
// real service would, and records every request where tests can read it.
//
//   service.exe [--log FILE] [--ready FILE] --endpoint HOST:PORT[=MODE] [--endpoint HOST:PORT[=MODE]]
//
// MODE tells an endpoint how to behave: ok (the default), refuse (does not listen), close (accepts and
// closes), fault (answers a SOAP Fault), hang (accepts and never answers), slow (answers after 2 s),
// wrongns (answers in another namespace), badhex (answers text that is no hexadecimal), reset (sends half
// a reply and resets the connection), error500 (a bare HTTP 500 without a SOAP body), huge (a reply of
// 1 MB of hexadecimal digits), odd (the right reply with one more digit), long (a reply that decodes to a
// command of 600 bytes), late (answers after 4 s), dribble (sends its reply a byte every 4.5 s); and commands
// no expert's parser should see: dtd (a document type declaration with entities), pi (a processing
// instruction inside the command), roots (two commands side by side); decl (a genuine command with an XML
// declaration, a comment and a child element).
// The log gets one line per request: the system's tick count in milliseconds at its arrival, endpoint, Type, HASH, Comp, Volume, SL, TP,
// SetSLTPonME, separated by tabs (a tab, line break or backslash inside a value written as \t, \n, \\).
// The --ready file is made once every endpoint listens; an endpoint whose address is taken ends the service
// (exit code 3).
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BasicHttpBinding_USCOREIPellantix.nsmap"
#include "soapBasicHttpBinding_USCOREIPellantixService.h"
#include "tools/common/monotonic_clock.h"
#include "tools/service/order_command.h"
#include "win/system_thread.h"

namespace {

enum class Mode {
    ok, refuse, close, fault, hang, slow, wrongNamespace, badHex, reset, error500, huge, odd, longCommand, late, dribble,
    dtd, processingInstruction, twoRoots, declaration
};

struct Endpoint {
    std::string host;
    int port = 0;
    Mode mode = Mode::ok;
    std::string label() const { return host + ":" + std::to_string(port); }
};

// The namespace table with the service's namespace replaced: a reply a client must not accept.
struct Namespace wrongNamespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"ns3", "http://schemas.microsoft.com/2003/10/Serialization/", nullptr, nullptr},
    {"ns1", "http://example.org/not-the-service/", nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr}};

// A slow endpoint answers well inside the panel's bounds, but late enough to act while a call is open; a
// late one near the end of the bounds.
constexpr DWORD slowAnswerMs = 2000;
constexpr DWORD lateAnswerMs = 4000;
// Each byte comes before a client waiting for the next read would give up, but the whole reply never does.
constexpr DWORD dribbleByteMs = 4500;

std::mutex logMutex;
FILE* requestLog = nullptr;
std::string readyFile;  // made once every endpoint listens
std::atomic<unsigned> orderIds{0};

std::string LogValue(const std::string* value)
{
    std::string out;
    for (char c : value ? *value : std::string()) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

// When this thread's connection last read bytes: the request was whole then, before its parsing.
thread_local double lastReadMs = 0;
std::atomic<size_t (*)(soap*, char*, size_t)> runtimeReceive = nullptr;

size_t ReceiveStamped(soap* soap, char* buffer, size_t length)
{
    const size_t got = runtimeReceive(soap, buffer, length);
    if (got > 0)
        lastReadMs = MonotonicMs();
    return got;
}

void Record(const Endpoint& endpoint, const _ns1__OrderComp& request)
{
    if (!requestLog)
        return;
    std::lock_guard<std::mutex> lock(logMutex);
    std::fprintf(requestLog, "%.3f\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", lastReadMs > 0 ? lastReadMs : MonotonicMs(),
                 endpoint.label().c_str(), request.Type ? std::to_string(*request.Type).c_str() : "",
                 LogValue(request.HASH).c_str(), LogValue(request.Comp).c_str(), LogValue(request.Volume).c_str(),
                 LogValue(request.SL).c_str(), LogValue(request.TP).c_str(), LogValue(request.SetSLTPonME).c_str());
    std::fflush(requestLog);
}

class StandInService : public BasicHttpBinding_USCOREIPellantixService {
public:
    explicit StandInService(const Endpoint& endpoint) : endpoint_(endpoint) {}
    const Endpoint& endpoint() const { return endpoint_; }

    BasicHttpBinding_USCOREIPellantixService* copy() override { return new StandInService(endpoint_); }

    int OrderComp(_ns1__OrderComp* request, _ns1__OrderCompResponse& response) override
    {
        Record(endpoint_, *request);
        if (endpoint_.mode == Mode::slow)
            Sleep(slowAnswerMs);
        if (endpoint_.mode == Mode::late)
            Sleep(lateAnswerMs);
        if (endpoint_.mode == Mode::fault)
            return soap_receiver_fault(soap, "The order service is not available", nullptr);
        const auto text = [](const std::string* value) { return value ? *value : std::string(); };
        OrderRequest order{text(request->HASH), text(request->Comp), request->Type ? *request->Type : -1,
                            text(request->Volume), text(request->SL), text(request->TP), text(request->SetSLTPonME)};
        std::string command = OrderCommand(order, ++orderIds);
        if (endpoint_.mode == Mode::longCommand)
            command.insert(command.size() - 2, " Note=\"" + std::string(600 - command.size() - 9, 'N') + "\"");
        if (endpoint_.mode == Mode::dtd)
            command = "<!DOCTYPE Order [<!ENTITY v \"0.01\"><!ENTITY w \"&v;&v;&v;&v;\">]>" + command;
        if (endpoint_.mode == Mode::processingInstruction)
            command.replace(command.size() - 2, 2, "><?execute again?></Order>");
        if (endpoint_.mode == Mode::twoRoots)
            command += command;
        if (endpoint_.mode == Mode::declaration)
            command = GenuineCommandWithDeclaration(command);
        std::string reply = HexUpper(EncryptForPanel(command, order.hash));
        if (endpoint_.mode == Mode::odd)
            reply += "F";
        if (endpoint_.mode == Mode::huge)
            reply.assign(1 << 20, 'A');
        if (endpoint_.mode == Mode::badHex)
            reply = "XYZ-not-hexadecimal-\xC3\xA9";
        if (endpoint_.mode == Mode::wrongNamespace)
            soap_set_namespaces(soap, wrongNamespaces);
        response.OrderCompResult = soap_new_std__string(soap);
        *response.OrderCompResult = reply;
        return SOAP_OK;
    }

private:
    Endpoint endpoint_;
};

// The runtime leaves an accepted socket non-blocking; the modes that answer by hand wait on it.
void MakeBlocking(SOCKET socket)
{
    u_long nonBlocking = 0;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
}

// Reads the request until the client has sent it all (or stops sending for a second).
void ReadRequest(SOCKET socket)
{
    MakeBlocking(socket);
    std::string request;
    char buffer[4096];
    DWORD timeout = 1000;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    for (int got; request.find("Envelope>") == std::string::npos && (got = recv(socket, buffer, sizeof buffer, 0)) > 0;)
        request.append(buffer, got);
}

void SendText(SOCKET socket, const std::string& text)
{
    send(socket, text.data(), int(text.size()), 0);
}

void Dribble(SOCKET socket)
{
    ReadRequest(socket);
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n"
                              "Content-Length: 300\r\nConnection: close\r\n\r\n<s:Envelope>";
    for (const char byte : reply) {
        Sleep(dribbleByteMs);
        if (send(socket, &byte, 1, 0) != 1)
            break;  // the client has given up
    }
    closesocket(socket);
}

// The endpoint's listener, or none where its address is taken.
std::unique_ptr<StandInService> Listen(const Endpoint& endpoint)
{
    auto service = std::make_unique<StandInService>(endpoint);
    service->soap->bind_flags = SO_REUSEADDR;
    service->soap->recv_timeout = 10;
    service->soap->send_timeout = 10;
    if (!soap_valid_socket(service->bind(endpoint.host.c_str(), endpoint.port, 16)))
        return nullptr;
    return service;
}

void Serve(StandInService& service)
{
    const Endpoint& endpoint = service.endpoint();
    for (;;) {
        if (!soap_valid_socket(service.accept()))
            continue;
        if (endpoint.mode == Mode::close) {
            soap_closesock(service.soap);
        } else if (endpoint.mode == Mode::hang) {
            // Reads whatever comes and never answers, until the client gives up.
            MakeBlocking(service.soap->socket);
            char buffer[4096];
            while (recv(service.soap->socket, buffer, sizeof buffer, 0) > 0) {
            }
            soap_closesock(service.soap);
        } else if (endpoint.mode == Mode::reset) {
            ReadRequest(service.soap->socket);
            SendText(service.soap->socket, "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n"
                                           "Content-Length: 400\r\n\r\n<s:Envelope xmlns:s=\"http://schemas");
            Sleep(100);
            const LINGER abort = {1, 0};  // closing now resets the connection
            setsockopt(service.soap->socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                       sizeof abort);
            soap_closesock(service.soap);
        } else if (endpoint.mode == Mode::dribble) {
            // Each connection on its own, so that one being dribbled to holds no other.
            const SOCKET dribbled = service.soap->socket;
            if (!win::StartThread([dribbled] { Dribble(dribbled); }))
                closesocket(dribbled);
            service.soap->socket = SOAP_INVALID_SOCKET;
        } else if (endpoint.mode == Mode::error500) {
            ReadRequest(service.soap->socket);
            SendText(service.soap->socket, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n"
                                           "Connection: close\r\n\r\n");
            soap_closesock(service.soap);
        } else {
            // Each connection on a thread of its own, as a service serves its clients: one kept idle (a
            // panel connects ahead of the press) holds no other back in the listener's queue.
            auto* connection = new StandInService(endpoint);
            connection->soap->recv_timeout = service.soap->recv_timeout;
            connection->soap->send_timeout = service.soap->send_timeout;
            soap_copy_stream(connection->soap, service.soap);
            runtimeReceive = connection->soap->frecv;
            connection->soap->frecv = ReceiveStamped;
            service.soap->socket = SOAP_INVALID_SOCKET;
            // A first read, which finds nothing yet: wine shows a socket's owner in the system's table only
            // once its process has done I/O on it.
            char byte = 0;
            recv(connection->soap->socket, &byte, 1, MSG_PEEK);
            const auto end = [connection] {
                connection->destroy();
                delete connection;
            };
            if (!win::StartThread([connection, end] {
                    connection->serve();
                    end();
                }))
                end();
        }
        service.destroy();
    }
}

Mode ParseMode(const std::string& text)
{
    if (text == "refuse")
        return Mode::refuse;
    if (text == "close")
        return Mode::close;
    if (text == "fault")
        return Mode::fault;
    if (text == "hang")
        return Mode::hang;
    if (text == "slow")
        return Mode::slow;
    if (text == "wrongns")
        return Mode::wrongNamespace;
    if (text == "badhex")
        return Mode::badHex;
    if (text == "reset")
        return Mode::reset;
    if (text == "error500")
        return Mode::error500;
    if (text == "huge")
        return Mode::huge;
    if (text == "odd")
        return Mode::odd;
    if (text == "long")
        return Mode::longCommand;
    if (text == "late")
        return Mode::late;
    if (text == "dribble")
        return Mode::dribble;
    if (text == "dtd")
        return Mode::dtd;
    if (text == "pi")
        return Mode::processingInstruction;
    if (text == "roots")
        return Mode::twoRoots;
    if (text == "decl")
        return Mode::declaration;
    return Mode::ok;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<Endpoint> endpoints;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--log") {
            requestLog = std::fopen(value.c_str(), "a");
        } else if (option == "--ready") {
            readyFile = value;
        } else if (option == "--endpoint") {
            Endpoint endpoint;
            const size_t colon = value.find(':'), equals = value.find('=');
            endpoint.host = value.substr(0, colon);
            endpoint.port = std::atoi(value.substr(colon + 1).c_str());
            if (equals != std::string::npos)
                endpoint.mode = ParseMode(value.substr(equals + 1));
            endpoints.push_back(endpoint);
        }
    }
    if (endpoints.empty()) {
        std::fprintf(stderr, "usage: service [--log FILE] [--ready FILE] --endpoint HOST:PORT[=MODE] ...\n");
        return 2;
    }
    // Every endpoint listens, or the service ends: one half listening would leave a test talking to
    // whatever else holds the address (another run's service).
    std::vector<std::shared_ptr<StandInService>> listeners;
    for (const Endpoint& endpoint : endpoints) {
        if (endpoint.mode == Mode::refuse)
            continue;
        listeners.push_back(Listen(endpoint));
        if (!listeners.back()) {
            std::fprintf(stderr, "service: cannot listen on %s\n", endpoint.label().c_str());
            return 3;
        }
    }
    // The system's threads: the C++ runtime's now and then never start under wine.
    std::vector<win::UniqueHandleObject> servers;
    for (const std::shared_ptr<StandInService>& listener : listeners) {
        servers.push_back(win::StartThread([listener] { Serve(*listener); }));
        if (!servers.back()) {
            std::fprintf(stderr, "service: no thread to serve %s\n", listener->endpoint().label().c_str());
            return 3;
        }
    }
    if (!readyFile.empty()) {
        FILE* const ready = std::fopen(readyFile.c_str(), "w");
        if (!ready) {
            std::fprintf(stderr, "service: cannot make %s\n", readyFile.c_str());
            return 3;
        }
        std::fclose(ready);
    }
    std::printf("service: listening\n");
    std::fflush(stdout);
    for (const win::UniqueHandleObject& server : servers)
        WaitForSingleObject(server, INFINITE);
    return 0;
}

#include "service/endpoints.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <wininet.h>

#include <vector>

#include "app/main_window.h"
#include "exchange/ansi_text.h"
#include "ui/fatal_error.h"
#include "ui/win_handles.h"

#ifndef PANEL_PRIMARY_HOST
#error "PANEL_PRIMARY_HOST is set at configure time"
#endif

namespace {

constexpr wchar_t serverPort[] = L"8888";
constexpr wchar_t servicePath[] = L"/Pellantix/Pellantix.svc";
constexpr char echoData[] = "Data Buffer";  // sent with its terminating zero
constexpr DWORD echoTimeoutMs = 1000;

#define PANEL_WIDEN2(text) L##text
#define PANEL_WIDEN(text) PANEL_WIDEN2(text)

std::wstring EndpointUrl(const wchar_t* host)
{
    return std::wstring(L"http://") + host + L":" + serverPort + servicePath;
}

inline BOOL CloseIcmp(HANDLE icmp) { return IcmpCloseHandle(icmp); }
using UniqueIcmp = win::UniqueHandle<HANDLE, CloseIcmp>;

// Winsock for the duration of one echo.
struct WinsockSession {
    WinsockSession()
    {
        WSADATA data;
        if (WSAStartup(0x0202, &data) != 0)
            ReportFatalError(L"CMainWindow::serverPing");
    }
    ~WinsockSession() { WSACleanup(); }
};

}  // namespace

std::array<std::wstring, 2> DefaultServerUrls()
{
    return {EndpointUrl(PANEL_WIDEN(PANEL_PRIMARY_HOST)), EndpointUrl(PANEL_WIDEN(PANEL_SECONDARY_HOST))};
}

bool crackUrl(const std::wstring& address, UrlParts& parts)
{
    const DWORD length = static_cast<DWORD>(address.size()) + 1;
    std::vector<wchar_t> scheme(length), host(length), user(length), password(length), path(length), extra(length);
    URL_COMPONENTSW components = {};
    components.dwStructSize = sizeof components;
    components.lpszScheme = scheme.data();
    components.dwSchemeLength = length;
    components.lpszHostName = host.data();
    components.dwHostNameLength = length;
    components.lpszUserName = user.data();
    components.dwUserNameLength = length;
    components.lpszPassword = password.data();
    components.dwPasswordLength = length;
    components.lpszUrlPath = path.data();
    components.dwUrlPathLength = length;
    components.lpszExtraInfo = extra.data();
    components.dwExtraInfoLength = length;
    if (!InternetCrackUrlW(address.c_str(), 0, 0, &components))
        return false;
    parts.scheme = scheme.data();
    parts.schemeNumber = components.nScheme;
    parts.host = host.data();
    parts.port = components.nPort;
    parts.userName = user.data();
    parts.password = password.data();
    parts.path = path.data();
    parts.extraInfo = extra.data();
    return true;
}

bool isLocalHost(const std::wstring& host) { return host == L"localhost"; }

ULONG FirstIPv4(const addrinfo* results)
{
    for (const addrinfo* result = results; result; result = result->ai_next)
        if (result->ai_family == AF_INET && result->ai_addr)
            return reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    return INADDR_NONE;
}

ULONG resolveHost(const std::wstring& address)
{
    UrlParts parts;
    crackUrl(address, parts);
    if (isLocalHost(parts.host))
        return 0;
    const std::string host = ToAnsi(parts.host).value_or(std::string());
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* results = nullptr;
    // A host that does not resolve, or only to IPv6, cannot be pinged: it answers as unreachable.
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0 || !results)
        return INADDR_NONE;
    // A host with both kinds of address usually lists IPv6 first.
    const ULONG resolved = FirstIPv4(results);
    freeaddrinfo(results);
    return resolved;
}

int EchoRoundTrip(DWORD replies, const ICMP_ECHO_REPLY& first)
{
    // A router's "unreachable" comes back fast: only a real echo counts as an answer.
    if (replies == 0 || first.Status != IP_SUCCESS)
        return -1;
    return static_cast<int>(first.RoundTripTime);
}

int SelectFastest(const std::array<int, 2>& roundTrips)
{
    int selected = -1;
    for (int i = 0; i < 2; ++i)
        if (roundTrips[i] >= 0 && (selected < 0 || roundTrips[i] < roundTrips[selected]))
            selected = i;
    return selected;
}

void CMainWindow::setDefaultServers()
{
    serverUrls = DefaultServerUrls();
    serverAlive = {1, 1};
}

void CMainWindow::selectServer()
{
    if (!serverAlive[0] && !serverAlive[1])
        setDefaultServers();
    serverRoundTrips = {-1, -1};
    std::array<bool, 2> asked = {false, false};
    for (;;) {
        for (int i = 0; i < 2; ++i)
            if (serverAlive[i] && !asked[i]) {
                serverRoundTrips[i] = serverPing(i);
                asked[i] = true;
            }
        selectedServer = SelectFastest(serverRoundTrips);
        if (selectedServer >= 0 || (serverAlive[0] && serverAlive[1]))
            return;
        // None of the endpoints still marked answers, and the one that failed a call may have recovered:
        // both marks back and that one asked too, or the panel would never try it again. Each endpoint is
        // asked once a selection, so a selection costs at most two echoes.
        serverAlive = {1, 1};
    }
}

int CMainWindow::serverPing(int index)
{
    WinsockSession winsock;
    const ULONG address = resolveHost(serverUrls[index]);
    if (address == 0)
        return 0;  // "localhost" answers at once, without an echo
    if (address == INADDR_NONE)
        return -1;
    const HANDLE icmpHandle = IcmpCreateFile();
    if (icmpHandle == INVALID_HANDLE_VALUE)
        ReportFatalError(L"CMainWindow::serverPing");
    UniqueIcmp icmp(icmpHandle);
    // One reply record, the echoed data and room for an ICMP error message.
    std::vector<unsigned char> reply(sizeof(ICMP_ECHO_REPLY) + sizeof echoData + 8);
    const DWORD replies = IcmpSendEcho(icmp, address, const_cast<char*>(echoData), sizeof echoData, nullptr,
                                       reply.data(), static_cast<DWORD>(reply.size()), echoTimeoutMs);
    return EchoRoundTrip(replies, *reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data()));
}

std::wstring CMainWindow::currentServer()
{
    return selectedServer < 0 ? std::wstring() : serverUrls[selectedServer];
}

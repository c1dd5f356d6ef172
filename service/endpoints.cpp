#include "service/endpoints.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <wininet.h>
#include <winternl.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "exchange/ansi_text.h"
#include "service/order_path.h"
#include "service/winsock_session.h"
#include "win/fatal_error.h"
#include "win/system_thread.h"
#include "win/win_handles.h"

namespace {

constexpr char echoData[] = "Data Buffer";  // sent with its terminating zero
constexpr DWORD echoTimeoutMs = 1000;

inline BOOL CloseIcmp(HANDLE icmp) { return IcmpCloseHandle(icmp); }
using UniqueIcmp = win::UniqueHandle<HANDLE, CloseIcmp>;

// One echo on an open handle: its round trip in milliseconds, -1 unless an echo reply came back in time.
int Echo(HANDLE icmp, ULONG address) noexcept
{
    try {
        // One reply record, the echoed data, room for an ICMP error message and for the I/O status the
        // system may write there too.
        std::vector<unsigned char> reply(sizeof(ICMP_ECHO_REPLY) + sizeof echoData + 8 + sizeof(IO_STATUS_BLOCK));
        const DWORD replies = IcmpSendEcho(icmp, address, const_cast<char*>(echoData), sizeof echoData, nullptr,
                                           reply.data(), static_cast<DWORD>(reply.size()), echoTimeoutMs);
        return EchoRoundTrip(replies, *reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data()));
    } catch (const std::bad_alloc&) {
        return -1;  // no memory for the reply: as if none came
    }
}

}  // namespace

bool crackUrl(const std::wstring& address, UrlParts& parts)
{
    const DWORD length = static_cast<DWORD>(address.size()) + 1;
    // The components not asked for (no buffer, no length) are not split out.
    std::vector<wchar_t> host(length);
    URL_COMPONENTSW components = {};
    components.dwStructSize = sizeof components;
    components.lpszHostName = host.data();
    components.dwHostNameLength = length;
    if (!InternetCrackUrlW(address.c_str(), 0, 0, &components))
        return false;
    parts.schemeNumber = components.nScheme;
    parts.host = host.data();
    parts.port = components.nPort;
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

struct HostLookup::State {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<ULONG> address;
};

ULONG SystemHostResolver(const std::string& host)
{
    if (!WinsockStarted())
        return INADDR_NONE;
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* results = nullptr;
    ULONG found = INADDR_NONE;
    // A host that does not resolve, or only to IPv6, cannot be pinged nor called: it answers as unreachable.
    // A host with both kinds of address usually lists IPv6 first.
    if (getaddrinfo(host.c_str(), nullptr, &hints, &results) == 0 && results) {
        found = FirstIPv4(results);
        freeaddrinfo(results);
    }
    return found;
}

HostLookup::HostLookup(const std::wstring& address, const HostResolver& resolve) : state_(std::make_shared<State>())
{
    UrlParts parts;
    crackUrl(address, parts);
    if (isLocalHost(parts.host)) {
        state_->address = 0;
        return;
    }
    const std::string host = ToAnsi(parts.host).value_or(std::string());
    if (host.empty()) {
        state_->address = INADDR_NONE;
        return;
    }
    // The thread holds the state, so a lookup given up on ends without the panel.
    const win::UniqueHandleObject lookup = win::StartThread([state = state_, host, resolve] {
        // Whatever goes wrong here ends this lookup only: its waiter gives up at its bound.
        try {
            const ULONG found = resolve(host);
            const std::lock_guard lock(state->mutex);
            state->address = found;
            state->done.notify_all();
        } catch (...) {
        }
    });
    if (!lookup)
        state_->address = resolve(host);  // no thread to be had: the lookup as it is
}

ULONG HostLookup::Wait(std::chrono::steady_clock::time_point deadline)
{
    return Answer(deadline).value_or(INADDR_NONE);
}

std::optional<ULONG> HostLookup::Answer(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(state_->mutex);
    state_->done.wait_until(lock, deadline, [this] { return state_->address.has_value(); });
    return state_->address;
}

ULONG resolveHost(const std::wstring& address)
{
    return HostLookup(address).Wait(std::chrono::steady_clock::now() + nameLookupBound);
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

int SelectEndpoint(const std::array<int, 2>& roundTrips, const std::array<unsigned char, 2>& alive)
{
    const int fastest = SelectFastest({alive[0] ? roundTrips[0] : -1, alive[1] ? roundTrips[1] : -1});
    if (fastest >= 0)
        return fastest;
    return alive[0] ? 0 : alive[1] ? 1 : -1;
}

std::array<int, 2> PingAddresses(const std::array<ULONG, 2>& addresses, std::array<unsigned char, 2> marked)
{
    if (!WinsockStarted())
        ReportFatalError(L"CMainWindow::serverPing");
    std::array<int, 2> roundTrips = {-1, -1};
    std::array<UniqueIcmp, 2> icmp;
    for (int i = 0; i < 2; ++i) {
        if (!marked[i] || addresses[i] == INADDR_NONE)
            continue;
        if (addresses[i] == 0) {
            roundTrips[i] = 0;  // "localhost" answers at once, without an echo
            continue;
        }
        const HANDLE opened = IcmpCreateFile();
        if (opened == INVALID_HANDLE_VALUE)
            ReportFatalError(L"CMainWindow::serverPing");
        icmp[i].reset(opened);
    }
    // Both echoes at once: a selection where neither answers waits one echo's time, not two (or one
    // after the other where no thread is to be had).
    win::UniqueHandleObject second;
    if (icmp[0] && icmp[1])
        second = win::StartThread([&] { roundTrips[1] = Echo(icmp[1], addresses[1]); });
    if (icmp[0])
        roundTrips[0] = Echo(icmp[0], addresses[0]);
    if (second)
        WaitForSingleObject(second, INFINITE);
    else if (icmp[1])
        roundTrips[1] = Echo(icmp[1], addresses[1]);
    return roundTrips;
}

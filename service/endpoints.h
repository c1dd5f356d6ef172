// The order service's two endpoints and the choice between them by ICMP echo round trip.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <ipexport.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The parts of an address that the calls use, as InternetCrackUrlW splits it: the scheme decides TLS, the
// host is looked up and named to the server, the port is connected to.
struct UrlParts {
    int schemeNumber = 0;
    std::wstring host;
    unsigned short port = 0;
};

// The endpoints built in at configure time: primary and secondary.
std::array<std::wstring, 2> DefaultServerUrls();

bool crackUrl(const std::wstring& address, UrlParts& parts);
// True for exactly "localhost".
bool isLocalHost(const std::wstring& host);

// A name lookup has no time limit of its own, and a name server that does not answer would hold an order
// for as long as the system's resolver waits. Each endpoint's name is looked up once a selection, on a
// thread of its own, and given this long; a lookup still running then is left to end by itself, and its
// answer serves the next selection.
constexpr std::chrono::milliseconds nameLookupBound{2000};
// Where a lookup overruns, the address the last one found serves this long after it was found: a name
// server down for a while stops no trading, and a service that moved is found again within minutes.
constexpr std::chrono::minutes lastAddressKept{10};

// A host name to its first IPv4 address (network byte order), all bits set for none; the system's
// resolver unless a test gives another.
using HostResolver = std::function<ULONG(const std::string& host)>;
ULONG SystemHostResolver(const std::string& host);

// The name lookup of an address's host, started at construction; Wait gives its first IPv4 address
// (network byte order), 0 for "localhost", all bits set for a host without one or not found in time.
class HostLookup {
public:
    explicit HostLookup(const std::wstring& address, const HostResolver& resolve = SystemHostResolver);
    ULONG Wait(std::chrono::steady_clock::time_point deadline);
    // The same, but nothing while the lookup still runs at the deadline.
    std::optional<ULONG> Answer(std::chrono::steady_clock::time_point deadline);

    struct State;

private:
    std::shared_ptr<State> state_;
};
// The address's host looked up within nameLookupBound, as HostLookup gives it.
ULONG resolveHost(const std::wstring& address);

// The first IPv4 address of the whole result list, in network byte order; all bits set when there is none.
ULONG FirstIPv4(const addrinfo* results);
// The round trip of an echo in milliseconds, or -1 unless it came back as an echo reply.
int EchoRoundTrip(DWORD replies, const ICMP_ECHO_REPLY& first);
// The round trips of echoes to the addresses marked, both at once, in ms; -1 for no answer, not marked or
// INADDR_NONE; 0 for "localhost" (address 0), which answers at once without an echo.
std::array<int, 2> PingAddresses(const std::array<ULONG, 2>& addresses, std::array<unsigned char, 2> marked);

// The index of the fastest answering endpoint (-1: no answer); a tie keeps the lower index.
int SelectFastest(const std::array<int, 2>& roundTrips);
// The endpoint to call: the fastest answering one of those marked alive. Many networks drop echoes while
// the service answers well: when none answers, the first one marked alive (the primary, while it is).
// -1 only when none is marked.
int SelectEndpoint(const std::array<int, 2>& roundTrips, const std::array<unsigned char, 2>& alive);

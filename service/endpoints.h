// The order service's two endpoints and the choice between them by ICMP echo round trip.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <ipexport.h>

#include <array>
#include <string>

// The parts of an address as InternetCrackUrlW splits it; only the host is used.
struct UrlParts {
    std::wstring scheme;
    int schemeNumber = 0;
    std::wstring host;
    unsigned short port = 0;
    std::wstring userName;
    std::wstring password;
    std::wstring path;
    std::wstring extraInfo;
};

// The endpoints built in at configure time: primary and secondary.
std::array<std::wstring, 2> DefaultServerUrls();

bool crackUrl(const std::wstring& address, UrlParts& parts);
// True for exactly "localhost".
bool isLocalHost(const std::wstring& host);
// The IPv4 address of the address's host in network byte order: 0 for "localhost", all bits set for a
// host that does not resolve to an IPv4 address.
ULONG resolveHost(const std::wstring& address);

// The first IPv4 address of the whole result list, in network byte order; all bits set when there is none.
ULONG FirstIPv4(const addrinfo* results);
// The round trip of an echo in milliseconds, or -1 unless it came back as an echo reply.
int EchoRoundTrip(DWORD replies, const ICMP_ECHO_REPLY& first);

// The index of the fastest answering endpoint (-1: no answer); a tie keeps the lower index.
int SelectFastest(const std::array<int, 2>& roundTrips);

// One OrderComp request to the order service, as it goes on the wire.
#pragma once

#include <windows.h>

#include <winsock2.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "service/order_request.h"
#include "service/tls_channel.h"
#include "service/tls_policy.h"
#include "service/winsock_session.h"


// Every call is bounded: a service that accepts and never answers fails like one that refuses. Once
// connected, the whole request and the whole reply must pass within the exchange bound, measured on a
// monotonic clock whatever the service's pace: a service dribbling its bytes fails like a silent one.
constexpr std::chrono::milliseconds connectBound{3000};
constexpr std::chrono::milliseconds exchangeBound{5000};
// A reply larger than this fails like any broken one: a command is at most 500 bytes, so this leaves room
// for any real one, and a hostile service cannot make the panel copy and decrypt megabytes.
constexpr unsigned replyLimitBytes = 64 * 1024;

// The text without the control characters that XML 1.0 cannot carry (all below 0x20 but tab, LF and CR).
std::string XmlCarriable(std::string text);

// A connection made ahead of a press: TCP to the endpoint's address and, for https, the TLS handshake with
// the certificate accepted. It carries at most one request, and only while it is still open and has
// received nothing.
struct ConnectionAhead {
    ConnectionAhead() = default;
    ConnectionAhead(const ConnectionAhead&) = delete;
    ConnectionAhead& operator=(const ConnectionAhead&) = delete;
    ~ConnectionAhead();
    // Open, and nothing came from the server: a server that closed it, or sent anything unasked, gets none.
    bool Idle() const;

    std::string endpoint;
    ULONG address = INADDR_NONE;
    SOCKET socket = INVALID_SOCKET;
    std::unique_ptr<TlsChannel> channel;  // for https
};
// How long connecting ahead waits after attempts that failed one after the other: a second after the
// first, doubled after each further one, 30 s at most. A service that refuses, or whose certificate is
// refused, is not asked again at every move of the pointer; a press always connects itself.
std::chrono::milliseconds ConnectAheadPause(int failures);

// A reading of both clocks: the monotonic one, and the system's, which a resume from sleep or a clock set
// by hand or by time sync moves too.
struct ClockReading {
    std::chrono::steady_clock::time_point steady;
    std::chrono::system_clock::time_point system;
    static ClockReading Now();
};
// A connection made ahead serves a press only this young. A path that died without a word (a NAT or a
// firewall that forgot it, a laptop that slept) shows no close, and the shortest idle timeouts of those
// are 30 s and more: a rest longer than this has its connection made again.
constexpr std::chrono::seconds connectionAheadServesFor{15};
// The panel's clock ticks every 100 ms: a tick later than this means the system slept or the clock jumped.
constexpr std::chrono::seconds tickLateAfter{2};
// Whether the later reading is no more than the bound after the earlier one on both clocks, and neither
// clock went back between them.
bool WithinOnBothClocks(const ClockReading& earlier, const ClockReading& later, std::chrono::milliseconds bound);

// Connects to the endpoint at the address within the connect bound, and for https shakes hands within the
// exchange bound; nothing when that fails.
std::unique_ptr<ConnectionAhead> ConnectAhead(const std::string& endpoint, ULONG address, const TlsPolicy& tls);

// Sends the request to the endpoint with a fresh client, connected to the given IPv4 address of its host
// (network byte order; 0 for "localhost"; INADDR_NONE fails as a host not found), and fills result with
// OrderCompResult. An https endpoint is called through TLS, its certificate checked under the policy before
// any byte of the request leaves; an endpoint of another scheme than http or https is never called.
// Returns 0 on success, otherwise the SOAP runtime's error code (a reply without a result, a refused
// certificate, are failed calls too). Throws std::bad_alloc when memory runs out: that is no fault of the
// endpoint.
// A connection made ahead for the same endpoint and address carries the request when it is still idle;
// otherwise the call connects as ever.
// A failed call says why in failure, when given: "connect: <why>" (refused, time-out, host not found, the
// TLS handshake or the certificate), "time-out or closed", "HTTP <status>", "SOAP fault", and so on.
// With identityOnceConnected, the request's HASH is taken from it once the connection stands (for https,
// once the handshake is done), so that a look-up of the identity runs while the connection is made; until
// then request.hash holds a text as long as the identity will be. When it throws or gives a text of
// another length the call fails with std::bad_alloc: no fault of the endpoint's.
int SendOrderComp(const std::string& endpoint, ULONG address, const OrderRequest& request, std::string& result,
                  const TlsPolicy& tls = {}, std::unique_ptr<ConnectionAhead> ahead = nullptr,
                  std::string* failure = nullptr, const std::function<std::string()>& identityOnceConnected = {});
// Why a call failed, from the runtime's status and the connection's own failure (none when it connected).
std::string DescribeCallFailure(int status, const char* connectFailure = nullptr);
// The same, with the endpoint's host looked up first.
int SendOrderComp(const std::string& endpoint, const OrderRequest& request, std::string& result,
                  const TlsPolicy& tls = {});

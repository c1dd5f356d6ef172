// The order path: from a trade command's values to the decoded command text. It owns the two endpoints and
// the choice between them, the name lookups, the terminal's identity, the call with its connection and the
// decoding, and knows no window. The window thread, the exchange's thread and the identity's look-ahead
// thread all use one such object; whatever more than one of them touches is guarded here.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "service/endpoints.h"
#include "service/identity_hash.h"
#include "service/order_call.h"
#include "service/order_exchange.h"
#include "service/tls_policy.h"

// One command as the controller hands it over: its type, the order controls' values read at the press and
// the company the symbol document named then.
struct OrderCommand {
    OrderType type = Buy;
    OrderFields fields;
    std::wstring company;
};

// The endpoints as a selection left them.
struct EndpointState {
    std::array<std::wstring, 2> serverUrls;  // primary, secondary
    std::array<unsigned char, 2> serverAlive = {1, 1};  // 0 after a failed call
    int selectedServer = -1;  // -1 before the first selection
    std::array<int, 2> serverRoundTrips = {-1, -1};  // -1: no answer or not asked
    // The hosts' IPv4 addresses as the selection found them, echoed and called: 0 for "localhost",
    // INADDR_NONE when not found.
    std::array<ULONG, 2> serverAddresses = {INADDR_NONE, INADDR_NONE};
};

class COrderPath {
public:
    // The endpoints and pins built in, or others (tests, the benchmark).
    COrderPath();
    COrderPath(const std::array<std::wstring, 2>& endpoints, TlsPolicy tls,
               HostResolver resolve = SystemHostResolver);
    COrderPath(const COrderPath&) = delete;
    COrderPath& operator=(const COrderPath&) = delete;

    // The terminal whose identity the orders carry: the chart's process, found at attach.
    void attachTerminal(DWORD process) { terminalProcess_ = process; }

    // Other addresses for the endpoints (marks as given), until both have failed.
    void setServers(const std::array<std::wstring, 2>& urls, std::array<unsigned char, 2> alive = {1, 1});
    // The names of the endpoints still marked looked up at once, and the fastest to answer the echo chosen
    // (the first one marked when none answers); both restored first when none is marked.
    void selectServer();
    // The round trip of one endpoint's echo at the address the last selection found, in ms; -1: no answer.
    int serverPing(int index);
    // The chosen endpoint's address; empty before the first selection.
    std::wstring currentServer();
    EndpointState endpoints() const;

    // The remote address of the terminal's broker connection, from a look-up that started at most
    // identityServesFor before the call (one is made then when there is none), or the empty text.
    std::wstring brokerAddress();
    // The broker row looked up again on a thread of its own when the last look-up started that long ago, so
    // that the next press reads no table: at attach, while the trader's pointer is on BUY or SELL, and as it
    // leaves them.
    void keepIdentityFresh(std::chrono::milliseconds after = identityRenewedAfter);
    // Where an endpoint is https, readies the system's certificate checks on a thread of their own.
    void prepareTls() const;
    // The trader's pointer rests on BUY or SELL (told again while it stays): a connection to the chosen
    // endpoint (TCP, and TLS with the certificate checked) is made on a thread of its own, so that a press
    // only sends. Nothing when one is being made or an idle one is held; one the service closed meanwhile,
    // or older than connectionAheadServesFor, is made again, once a second at most. While they fail, the
    // attempts back off (ConnectAheadPause). A press takes it only while it is that young and the clock
    // ticks on time; otherwise the press connects.
    void connectAhead();
    // The pointer has left: the connection made ahead is closed (one being made is closed once made).
    void dropConnectionAhead();

    // The trader's hand as the window sees it; what is done ahead of a press, and when, is the path's.
    // How long the pointer rests on BUY or SELL before it counts as resting: a hand on its way elsewhere
    // passes in less.
    static constexpr std::chrono::milliseconds restBeforeConnecting{150};
    // How long a connection made ahead stays after the pointer has left BUY and SELL.
    static constexpr std::chrono::milliseconds keepAheadAfterLeaving{3000};
    // On its way to press: the identity looked up now serves the press, which then reads no table.
    void pointerReachedTrade();
    // Resting (told again while it stays): the identity kept fresh and a connection made ahead.
    void pointerRestsOnTrade();
    // Gone: the identity looked up again sooner (the hand may come back at once), and the connection made
    // ahead closed keepAheadAfterLeaving later, at the clock's tick, unless the pointer rests again.
    void pointerLeftTrade();
    // Whether a connection made ahead is held now.
    bool holdsConnectionAhead() const;
    // The panel's clock ticked (the refresh, every 100 ms). A tick late by more than tickLateAfter, on the
    // monotonic or the system clock, means the system slept or the clock jumped: the connection made ahead
    // goes, and a press that comes before the next tick connects anew. A path never told of ticks judges
    // its connection by its age alone.
    void clockTick();
    static std::wstring HASH(const std::wstring& text, ALG_ID algorithm);
    // The service's hexadecimal reply decoded under the key of the key source text's identity hash.
    static std::wstring Decrypt(const std::wstring& hex, const std::wstring& keySource);

    // The decoded command of the first attempt that the service answered (the retry goes to the endpoint
    // chosen after the failure), or the empty text.
    std::wstring orderWithRetry(const OrderCommand& command);
    // One attempt on the chosen endpoint; false, command untouched, when it failed.
    bool callOrderComp(const OrderCommand& command, std::wstring& decoded);

    // Where the order path notes each attempt, before its connection and request, and each attempt's
    // outcome: one event text each, on the exchange's thread. Set before the first command; none by default.
    void setJournal(std::function<void(const std::string&)> journal) { journal_ = std::move(journal); }

private:
    // One event for the journal, built only when there is one; neither the building nor the writing ever
    // stops an order (out of memory, the line is lost).
    template <typename Build>
    void note(const Build& build) const
    {
        if (!journal_)
            return;
        try {
            journal_(build());
        } catch (...) {
        }
    }
    // An endpoint's address by its name: the answer of its lookup by the deadline (one this selection
    // started, or one that overran before), or else the last address found while it is young enough;
    // INADDR_NONE when there is none.
    ULONG AddressOf(const std::wstring& url, std::chrono::steady_clock::time_point deadline);
    // Both endpoints at the built-in addresses and marked alive; endpointsMutex_ held.
    void RestoreBuiltInLocked();
    // The echoes of the endpoints marked, at the addresses the selection found, both at once.
    std::array<int, 2> PingEndpoints(std::array<unsigned char, 2> marked);
    // What the lookups of an endpoint's name left: one still running, and the last address found.
    struct KnownName {
        std::optional<HostLookup> running;
        ULONG lastFound = INADDR_NONE;
        std::chrono::steady_clock::time_point foundAt;
    };

    std::array<std::wstring, 2> builtIn_;
    const TlsPolicy tls_;
    const HostResolver resolve_;
    std::atomic<DWORD> terminalProcess_{0};

    mutable std::mutex endpointsMutex_;
    EndpointState endpoints_;
    // One selection at a time; the names' lookups are the selection's own.
    std::mutex selectionMutex_;
    std::map<std::wstring, KnownName> names_;  // by endpoint address

    // The connection made ahead and its making, shared with the thread that makes it.
    struct AheadSlot {
        std::mutex mutex;
        std::unique_ptr<ConnectionAhead> connection;
        bool making = false;
        unsigned generation = 0;  // moves on with each drop, so a connection made for an old rest is closed
        ClockReading lastMade;  // when the last attempt ended, made or not
        std::optional<ClockReading> lastTick;  // the panel's last clock tick, once told of one
        std::optional<std::chrono::steady_clock::time_point> dropAt;  // the pointer left: closed then
        int failures = 0;  // attempts that failed one after the other since the last one made
    };
    const std::shared_ptr<AheadSlot> ahead_ = std::make_shared<AheadSlot>();

    // The broker identity, shared with the threads that renew it ahead of a press.
    struct IdentitySlot {
        BrokerIdentity rows;
        std::atomic<bool> renewing{false};  // a look-up ahead of the press runs
    };
    const std::shared_ptr<IdentitySlot> identity_ = std::make_shared<IdentitySlot>();
    std::function<void(const std::string&)> journal_;
};

// The order path's own logic: the endpoints and their choice, the terminal's identity, the connection made
// ahead with its timings, and one trade command's order (its values become one OrderComp request, retried
// once on the endpoint chosen after a failure; the decoded reply, or the empty text, is what the controller
// hands to the expert). The pieces it uses are in the files of their own.
#include "service/order_path.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <new>

#include "exchange/ansi_text.h"
#include "service/order_call.h"
#include "service/reply_decoding.h"
#include "service/tls_channel.h"
#include "win/fatal_error.h"
#include "win/system_thread.h"

void COrderPath::connectAhead()
{
    std::string endpoint;
    ULONG address = INADDR_NONE;
    {
        const std::lock_guard lock(endpointsMutex_);
        if (endpoints_.selectedServer < 0)
            return;
        endpoint = ToAnsi(endpoints_.serverUrls[endpoints_.selectedServer]).value_or(std::string());
        address = endpoints_.serverAddresses[endpoints_.selectedServer];
    }
    // A service closes connections that stay idle (after some seconds): while the pointer rests on, one it
    // closed is made again, so the press still only sends. One a second at most, whatever the service does.
    constexpr auto remakePause = std::chrono::seconds(1);
    std::unique_ptr<ConnectionAhead> closed;
    unsigned generation = 0;
    {
        const std::lock_guard lock(ahead_->mutex);
        if (ahead_->making)
            return;
        const ClockReading now = ClockReading::Now();
        if (ahead_->connection && ahead_->connection->Idle() &&
            WithinOnBothClocks(ahead_->lastMade, now, connectionAheadServesFor))
            return;
        const auto sinceLast = now.steady - ahead_->lastMade.steady;
        if (ahead_->connection) {
            if (sinceLast < remakePause)
                return;
            closed = std::move(ahead_->connection);
        } else if (sinceLast < ConnectAheadPause(ahead_->failures)) {
            return;
        }
        ahead_->making = true;
        generation = ahead_->generation;
    }
    closed.reset();
    // The thread holds the slot and its own copy of the policy: a panel that ends meanwhile is no matter.
    const win::UniqueHandleObject making = win::StartThread([slot = ahead_, endpoint, address, tls = tls_, generation] {
        std::unique_ptr<ConnectionAhead> made;
        try {
            made = ConnectAhead(endpoint, address, tls);
        } catch (...) {
            // No connection made ahead: the press connects.
        }
        try {
            const std::lock_guard lock(slot->mutex);
            slot->making = false;
            slot->lastMade = ClockReading::Now();
            slot->failures = made ? 0 : std::min(slot->failures + 1, 1000);
            if (slot->generation == generation)
                slot->connection = std::move(made);
        } catch (...) {
            // A mutex that fails: nothing made ahead from now on, and the presses connect.
        }
    });
    if (!making) {
        const std::lock_guard lock(ahead_->mutex);
        ahead_->making = false;  // then the press connects
    }
}

void COrderPath::dropConnectionAhead()
{
    std::unique_ptr<ConnectionAhead> dropped;
    const std::lock_guard lock(ahead_->mutex);
    ++ahead_->generation;
    dropped = std::move(ahead_->connection);
}

void COrderPath::pointerReachedTrade()
{
    keepIdentityFresh();
}

void COrderPath::pointerRestsOnTrade()
{
    {
        const std::lock_guard lock(ahead_->mutex);
        ahead_->dropAt.reset();
    }
    keepIdentityFresh();  // told again while it stays, so a long rest keeps it fresh too
    connectAhead();
}

void COrderPath::pointerLeftTrade()
{
    keepIdentityFresh(identityRenewedOnLeave);
    const std::lock_guard lock(ahead_->mutex);
    ahead_->dropAt = std::chrono::steady_clock::now() + keepAheadAfterLeaving;
}

void COrderPath::clockTick()
{
    std::unique_ptr<ConnectionAhead> dropped;
    const ClockReading now = ClockReading::Now();
    const std::lock_guard lock(ahead_->mutex);
    const bool late = ahead_->lastTick && !WithinOnBothClocks(*ahead_->lastTick, now, tickLateAfter);
    ahead_->lastTick = now;
    const bool left = ahead_->dropAt && now.steady >= *ahead_->dropAt;
    if (left)
        ahead_->dropAt.reset();
    if (late || left) {
        // Whatever was made before a gap may lead nowhere now, and so may one being made across it; one
        // the pointer left goes as dropConnectionAhead would close it.
        ++ahead_->generation;
        dropped = std::move(ahead_->connection);
    }
}

bool COrderPath::holdsConnectionAhead() const
{
    const std::lock_guard lock(ahead_->mutex);
    return ahead_->connection != nullptr;
}

void COrderPath::prepareTls() const
{
    const auto https = [](const std::wstring& url) { return url.rfind(L"https://", 0) == 0; };
    if (!https(builtIn_[0]) && !https(builtIn_[1]))
        return;
    win::StartThread(WarmUpCertificateChecks);  // without a thread, the first press pays for it
}

std::wstring COrderPath::orderWithRetry(const OrderCommand& command)
{
    std::wstring decoded;
    if (callOrderComp(command, decoded))
        return decoded;
    // The failed endpoint is marked and the other chosen, whether or not it answers the echo: once more.
    callOrderComp(command, decoded);
    return decoded;
}

bool COrderPath::callOrderComp(const OrderCommand& command, std::wstring& decoded)
{
    int selected = -1;
    std::wstring endpoint;
    ULONG address = INADDR_NONE;
    {
        const std::lock_guard lock(endpointsMutex_);
        selected = endpoints_.selectedServer;
        if (selected >= 0) {
            endpoint = endpoints_.serverUrls[selected];
            address = endpoints_.serverAddresses[selected];
        }
    }
    if (selected < 0)
        return false;
    try {
        const auto ansi = [](const std::wstring& text) { return ToAnsi(text).value_or(std::string()); };
        OrderRequest request;
        // The identity at once when a look-up serves the attempt; otherwise a look-up runs on a thread of
        // its own while the connection (and for https the handshake) is made, and the request takes its
        // identity once the connection stands.
        std::wstring broker;
        const auto identity = [&] {
            broker = brokerAddress();
            return ansi(HASH(broker, CALG_SHA1));
        };
        std::function<std::string()> identityOnceConnected;
        if (const DWORD terminal = terminalProcess_; terminal == 0 || identity_->rows.Serves(terminal)) {
            request.hash = identity();
        } else {
            keepIdentityFresh();
            request.hash.assign(identityHashDigits, '0');
            identityOnceConnected = identity;
        }
        request.company = ansi(command.company);
        request.type = command.type;
        request.volume = ansi(command.fields.volume);
        request.stopLoss = ansi(command.fields.stopLoss);
        request.takeProfit = ansi(command.fields.takeProfit);
        request.setSlTpOnMarket = ansi(command.fields.setSlTpOnMarket);

        // A connection made ahead serves one request at most: taken now, whichever endpoint it was made for.
        // One that may have died silently is closed instead: made too long ago, or with the clock not
        // ticking on time since (the press may come before the tick that a resume from sleep makes late).
        std::unique_ptr<ConnectionAhead> ahead;
        bool mayBeDead = false;
        {
            const ClockReading now = ClockReading::Now();
            const std::lock_guard lock(ahead_->mutex);
            ahead = std::move(ahead_->connection);
            const bool clockOnTime = !ahead_->lastTick || WithinOnBothClocks(*ahead_->lastTick, now, tickLateAfter);
            mayBeDead = !clockOnTime || !WithinOnBothClocks(ahead_->lastMade, now, connectionAheadServesFor);
        }
        if (mayBeDead)
            ahead.reset();
        // In the journal before any byte of the request leaves: a panel ended meanwhile leaves the line of
        // every request that may have reached the service.
        const char* const type = OrderTypeName(command.type);
        note([&] {
            in_addr dotted = {};
            dotted.S_un.S_addr = address;
            return std::string("attempt ") + type + " endpoint=" + ansi(endpoint) +
                   " address=" + (address == INADDR_NONE ? "none" : inet_ntoa(dotted));
        });
        const auto started = std::chrono::steady_clock::now();
        const auto elapsedMs = [&started] {
            return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - started)
                                      .count());
        };
        std::string reply, failure;
        if (SendOrderComp(ansi(endpoint), address, request, reply, tls_, std::move(ahead), &failure,
                          identityOnceConnected) != 0) {
            note([&] { return std::string("outcome ") + type + " failed=\"" + failure + "\" ms=" + elapsedMs(); });
            {
                const std::lock_guard lock(endpointsMutex_);
                endpoints_.serverAlive[selected] = 0;
            }
            selectServer();
            return false;
        }
        decoded = Decrypt(FromAnsi(reply), broker);
        note([&] { return std::string("outcome ") + type + " answered Type=" + CommandType(decoded) + " ms=" + elapsedMs(); });
        return true;
    } catch (const std::bad_alloc&) {
        // Out of memory here is no fault of the endpoint: the attempt fails and the command stays as it was.
        return false;
    }
}

COrderPath::COrderPath() : COrderPath(DefaultServerUrls(), BuiltInTlsPolicy()) {}

COrderPath::COrderPath(const std::array<std::wstring, 2>& endpoints, TlsPolicy tls, HostResolver resolve)
    : builtIn_(endpoints), tls_(std::move(tls)), resolve_(std::move(resolve))
{
    endpoints_.serverUrls = builtIn_;
}

void COrderPath::RestoreBuiltInLocked()
{
    endpoints_.serverUrls = builtIn_;
    endpoints_.serverAlive = {1, 1};
}

void COrderPath::setServers(const std::array<std::wstring, 2>& urls, std::array<unsigned char, 2> alive)
{
    const std::lock_guard lock(endpointsMutex_);
    endpoints_.serverUrls = urls;
    endpoints_.serverAlive = alive;
}

EndpointState COrderPath::endpoints() const
{
    const std::lock_guard lock(endpointsMutex_);
    return endpoints_;
}

void COrderPath::selectServer()
{
    const std::lock_guard selection(selectionMutex_);
    std::array<std::wstring, 2> urls;
    std::array<unsigned char, 2> alive;
    {
        const std::lock_guard lock(endpointsMutex_);
        if (!endpoints_.serverAlive[0] && !endpoints_.serverAlive[1])
            RestoreBuiltInLocked();
        urls = endpoints_.serverUrls;
        alive = endpoints_.serverAlive;
    }
    // Both names at once, so a selection waits for name servers at most one bound. The echo and the call
    // then use the address found here. Only the selection's own lock is held meanwhile, never the
    // endpoints': the window thread and the exchange read them while the names are looked up.
    const auto deadline = std::chrono::steady_clock::now() + nameLookupBound;
    for (int i = 0; i < 2; ++i)
        if (alive[i] && !names_[urls[i]].running)
            names_[urls[i]].running.emplace(urls[i], resolve_);
    std::array<ULONG, 2> addresses = {INADDR_NONE, INADDR_NONE};
    for (int i = 0; i < 2; ++i)
        if (alive[i])
            addresses[i] = AddressOf(urls[i], deadline);
    {
        const std::lock_guard lock(endpointsMutex_);
        endpoints_.serverAddresses = addresses;
    }
    const std::array<int, 2> roundTrips = PingEndpoints(alive);
    const std::lock_guard lock(endpointsMutex_);
    endpoints_.serverRoundTrips = roundTrips;
    endpoints_.selectedServer = SelectEndpoint(roundTrips, alive);
}

ULONG COrderPath::AddressOf(const std::wstring& url, std::chrono::steady_clock::time_point deadline)
{
    KnownName& name = names_[url];
    const auto now = std::chrono::steady_clock::now();
    // The lookup the selection started, or one that overran last time: its answer, once it has one, is as
    // fresh as a new one's.
    const std::optional<ULONG> answer = name.running ? name.running->Answer(deadline) : std::nullopt;
    if (answer) {
        name.running.reset();
        if (*answer != INADDR_NONE) {
            name.lastFound = *answer;
            name.foundAt = now;
        }
        return *answer;
    }
    return name.lastFound != INADDR_NONE && now - name.foundAt <= lastAddressKept ? name.lastFound : INADDR_NONE;
}

int COrderPath::serverPing(int index)
{
    return PingEndpoints({index == 0, index == 1})[index];
}

std::array<int, 2> COrderPath::PingEndpoints(std::array<unsigned char, 2> marked)
{
    std::array<ULONG, 2> addresses;
    {
        const std::lock_guard lock(endpointsMutex_);
        addresses = endpoints_.serverAddresses;
    }
    return PingAddresses(addresses, marked);
}

std::wstring COrderPath::currentServer()
{
    const std::lock_guard lock(endpointsMutex_);
    return endpoints_.selectedServer < 0 ? std::wstring() : endpoints_.serverUrls[endpoints_.selectedServer];
}

std::wstring COrderPath::brokerAddress()
{
    // The process found at attach: asked again from the chart handle, a chart closed meanwhile would give
    // no process and the digest of eight spaces. No terminal at all: id 0 would match the TIME_WAIT rows.
    const DWORD terminal = terminalProcess_;
    if (terminal == 0)
        return {};
    return identity_->rows.ForAttempt(terminal);
}

void COrderPath::keepIdentityFresh(std::chrono::milliseconds after)
{
    // Ahead of the press, on a thread of its own; one running serves as well.
    const DWORD terminal = terminalProcess_;
    if (terminal == 0 || !identity_->rows.Due(terminal, after) || identity_->renewing.exchange(true))
        return;
    const win::UniqueHandleObject renewing = win::StartThread([identity = identity_, terminal, after] {
        try {
            identity->rows.RenewIfDue(terminal, after);
        } catch (...) {
            // Ahead of the press only: the press looks it up.
        }
        identity->renewing = false;
    });
    if (!renewing)
        identity_->renewing = false;  // then the press looks it up
}

std::wstring COrderPath::HASH(const std::wstring& text, ALG_ID algorithm)
{
    return IdentityDigest(text, algorithm);
}

std::wstring COrderPath::Decrypt(const std::wstring& hex, const std::wstring& keySource)
{
    return DecodeReply(hex, keySource);
}

// The terminal identity: the SHA-1 digest of the address of the broker server the terminal is connected to.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Appends 1 to 8 spaces so the length becomes the next multiple of 8 above it.
std::wstring padToBlock(const std::wstring& text);
// Two upper-case hexadecimal digits per byte.
std::wstring bytesToHex(const unsigned char* bytes, size_t count);
// A system table read in two steps, its size then its rows: query(nullptr, &size) must answer
// ERROR_INSUFFICIENT_BUFFER with the size; a table that grew before the read is asked again with the new
// size, a few times. False when it never fits or the query fails otherwise.
bool ReadSizedTable(const std::function<DWORD(void* buffer, DWORD* size)>& query, std::vector<unsigned char>& table);
// The system's TCP counters, which move whenever a connection is opened, fails, is reset, or enters or leaves
// the established states. Equal readings mean none of that happened in between, unless one connection
// entered and another left: entering needs one half open at the first reading.
struct TcpCounters {
    DWORD activeOpens = 0;
    DWORD passiveOpens = 0;
    DWORD attemptFails = 0;
    DWORD establishedResets = 0;
    DWORD currentlyEstablished = 0;
    bool operator==(const TcpCounters&) const = default;
};
std::optional<TcpCounters> ReadTcpCounters();

// A TCP connection as both kinds of the system's table show it, owners or not.
struct TcpRowKey {
    DWORD state = 0;
    DWORD localAddress = 0;
    DWORD localPort = 0;
    DWORD remoteAddress = 0;
    DWORD remotePort = 0;
    bool SameConnection(const TcpRowKey& other) const
    {
        return localAddress == other.localAddress && localPort == other.localPort &&
               remoteAddress == other.remoteAddress && remotePort == other.remotePort;
    }
    // The same connection seen from either of its ends.
    bool EitherEnd(const TcpRowKey& other) const
    {
        return SameConnection(other) || (localAddress == other.remoteAddress && localPort == other.remotePort &&
                                         remoteAddress == other.localAddress && remotePort == other.localPort);
    }
};

// What a look-up in the table with owners found: the broker row, the process's first row in the table's
// own order that has a remote address (a listening socket's, 0, is never a broker's), and the rows the
// table listed before it, none of them the process's with a remote address.
struct BrokerRowFound {
    TcpRowKey row;
    std::vector<TcpRowKey> ahead;
    // A live connection ahead showed no owner: wine names a socket's owner only once the process has done
    // I/O on it, so it may yet turn out to be the terminal's, and only the table with owners can tell.
    bool ownerlessAhead = false;
    // Counters read once a table had proved the row, kept only where they can prove it: the row established,
    // no connection half open anywhere in that table, and nothing changed while it was read.
    std::optional<TcpCounters> counters;
};
// An ownerless connection ahead that has the broker row's remote address, or is one of the caller's own (from
// either end), changes nothing the look-up gives even once it has an owner.
std::optional<BrokerRowFound> FindBrokerRow(const std::vector<unsigned char>& ownerTable, DWORD process,
                                            const std::vector<TcpRowKey>& own = {});
// Whether a table without owners proves that a look-up now would find the same row: it is there in the
// same state, and every row before it was before it at the look-up (a connection keeps its owner, so
// none of those became the process's) or can belong to no process's broker (closed from this side and
// waiting, or listening) or is one of the caller's own connections, from either end (the other end of a
// connection the panel made is the service's). A new live connection listed first, a closed or
// reconnected broker row, or an ownerless connection ahead, and the look-up runs again.
bool StillFound(const BrokerRowFound& found, const std::vector<unsigned char>& basicTable,
                const std::vector<TcpRowKey>& own = {});
// Whether unchanged connection counters will prove the row found in this table (with owners or not): the
// row established, and no connection half open (one that completes could make up for one that closes).
bool CountersCanProve(const BrokerRowFound& found, const std::vector<unsigned char>& table, bool withOwners);

// Where the broker row is read from: the system's counters and tables, or a model of them in the tests.
struct TcpReadings {
    std::function<std::optional<TcpCounters>()> counters;
    std::function<bool(std::vector<unsigned char>&)> basicTable;  // MIB_TCPTABLE
    std::function<bool(std::vector<unsigned char>&)> ownerTable;  // MIB_TCPTABLE_OWNER_PID
};
TcpReadings SystemTcpReadings();

// The broker row of a process as a look-up in the table with owners would find it now. That table costs
// wine a third of a second, so the row found last stands where something cheaper proves that a look-up
// would find it again: connection counters unchanged since a quiet table proved it, or else the table
// without owners.
class BrokerRowKeeper {
public:
    explicit BrokerRowKeeper(TcpReadings readings = SystemTcpReadings()) : readings_(std::move(readings)) {}
    // own: connections of the caller's, which are never the terminal's. At the press (ahead false) a table
    // that proves the row is read once: the counters it would keep need a second reading.
    std::optional<TcpRowKey> Find(DWORD process, const std::vector<TcpRowKey>& own = {}, bool ahead = true);
    // How many times the table with owners was read.
    int lookUps() const { return lookUps_; }

private:
    // Keeps counters for the row found in the table when they can prove it and nothing changed meanwhile.
    void KeepCountersIfQuiet(const std::optional<TcpCounters>& before, const std::vector<unsigned char>& table,
                             bool withOwners, const std::vector<TcpRowKey>& own, bool ahead);

    TcpReadings readings_;
    DWORD process_ = 0;
    std::optional<BrokerRowFound> found_;
    int lookUps_ = 0;
};

// Keeps the system's crypto providers loaded for the process's life: each acquisition of a context
// otherwise loads the provider's library again and each release unloads it.
void KeepCryptoProvidersLoaded();

// The terminal identity: the SHA-1 digest of the address of the broker server the terminal is connected to.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Appends 1 to 8 spaces so the length becomes the next multiple of 8 above it.
std::wstring padToBlock(const std::wstring& text);
// Two upper-case hexadecimal digits per byte.
std::wstring bytesToHex(const unsigned char* bytes, size_t count);
// The length of the request's identity: a SHA-1 digest of 20 bytes in hexadecimal.
constexpr size_t identityHashDigits = 40;
// A system table read into room for a busy desktop's: a query short of room must answer
// ERROR_INSUFFICIENT_BUFFER with the size it needs, and is asked again with that size and room for rows
// that come meanwhile, a few times. False when it never fits, needs more than any system's table (64 MiB)
// or the query fails otherwise.
constexpr DWORD initialTableBytes = 16 * 1024;
constexpr DWORD maxTableBytes = 64 * 1024 * 1024;
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
};

// The broker row of a process in the table with owners: its first row in the table's own order that has a
// remote address (a listening socket's, 0, is never a broker's).
std::optional<TcpRowKey> FindBrokerRow(const std::vector<unsigned char>& ownerTable, DWORD process);
// Whether a table without owners still lists the row: the same four addresses in the same state. A row that
// closed, or a new pair that took its ports, is looked up again.
bool StillListed(const TcpRowKey& row, const std::vector<unsigned char>& basicTable);
// Whether unchanged connection counters will prove that the row found in this table (with owners or not) is
// still listed: the row established, and no connection half open (one that completes could make up for one
// that closes in the established count).
bool CountersCanProve(const TcpRowKey& row, const std::vector<unsigned char>& table, bool withOwners);

// Where the broker row is read from: the system's counters and tables, or a model of them in the tests.
struct TcpReadings {
    std::function<std::optional<TcpCounters>()> counters;
    std::function<bool(std::vector<unsigned char>&)> basicTable;  // MIB_TCPTABLE
    std::function<bool(std::vector<unsigned char>&)> ownerTable;  // MIB_TCPTABLE_OWNER_PID
};
TcpReadings SystemTcpReadings();

// Looks up the broker row of a process. The terminal's broker connection lives for hours, so the row found
// stands for as long as the system still lists it, which something cheap shows: the connection counters
// unchanged since a quiet table showed it established, or else the table without owners (5 to 16 ms of
// wine's network driver). Only a row that is gone has the table with owners read, which costs that driver
// from a few hundredths of a second to more than a second beside a browser's closed connections.
class BrokerRowKeeper {
public:
    explicit BrokerRowKeeper(TcpReadings readings = SystemTcpReadings()) : readings_(std::move(readings)) {}
    std::optional<TcpRowKey> LookUp(DWORD process);
    // Whether the last look-up found no table to read: it found nothing, and knows nothing either.
    bool readFailed() const { return readFailed_; }
    // How many times the table with owners was read.
    int ownerTableReads() const { return ownerTableReads_; }

private:
    // Keeps counters for the row when they can prove it and nothing changed while the table was read.
    void KeepCountersIfQuiet(const std::optional<TcpCounters>& before, const std::vector<unsigned char>& table,
                             bool withOwners);

    TcpReadings readings_;
    DWORD process_ = 0;
    std::optional<TcpRowKey> row_;
    std::optional<TcpCounters> counters_;  // unchanged, they prove the row still listed
    bool readFailed_ = false;
    int ownerTableReads_ = 0;
};

// How long a look-up of the broker row serves the attempts after its start: a terminal that reconnected to
// another server sends the new identity from the first press this long after the reconnect.
constexpr std::chrono::milliseconds identityServesFor{5000};
// While the pointer stays on BUY or SELL a look-up this old is made again ahead of the press, so that even
// a long rest leaves the press a fresh one: what is left to the bound covers the hover's period and a slow
// look-up.
constexpr std::chrono::milliseconds identityRenewedAfter{3500};
// A hand that leaves the buttons may come back at once: a look-up as it leaves, unless one started this
// recently, serves a press until identityServesFor after it.
constexpr std::chrono::milliseconds identityRenewedOnLeave{1000};

// Whether a look-up started at one time serves an attempt starting at another.
bool LookUpServes(std::chrono::steady_clock::time_point lookedUp, std::chrono::steady_clock::time_point attempt);
// Whether a look-up started then is due to be made again ahead of a press.
bool LookUpDue(std::chrono::steady_clock::time_point lookedUp, std::chrono::steady_clock::time_point now,
               std::chrono::milliseconds after = identityRenewedAfter);

// The terminal's broker address as the attempts take it: from the last look-up while that serves, so that a
// press made after the pointer came to rest reads no table at all; otherwise from one look-up made then
// (one running meanwhile is waited for and serves, as it started before the attempt). A look-up that could
// read no table gives its own attempt the empty address and serves no other.
class BrokerIdentity {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    explicit BrokerIdentity(TcpReadings readings = SystemTcpReadings(), Clock clock = std::chrono::steady_clock::now);
    BrokerIdentity(const BrokerIdentity&) = delete;
    BrokerIdentity& operator=(const BrokerIdentity&) = delete;

    // The dotted address for an attempt of the process's starting now, or the empty text.
    std::wstring ForAttempt(DWORD process);
    // Ahead of a press, on a thread of the caller's: one look-up when the last one is due (started that long
    // ago) or was for another process; nothing otherwise.
    void RenewIfDue(DWORD process, std::chrono::milliseconds after = identityRenewedAfter);
    // Whether a look-up is due for the process, without waiting for one that runs.
    bool Due(DWORD process, std::chrono::milliseconds after = identityRenewedAfter) const;
    // Whether the last look-up serves an attempt of the process's starting now, without waiting.
    bool Serves(DWORD process) const;
    int ownerTableReads() const;

private:
    // The last look-up: its process (0: none, or no table could be read), its start and its answer.
    struct Result {
        DWORD process = 0;
        std::chrono::steady_clock::time_point started;
        std::wstring address;
        bool Serves(DWORD of, std::chrono::steady_clock::time_point attempt) const;
    };
    // One look-up, lookUpMutex_ held; its answer.
    std::wstring LookUpLocked(DWORD process);

    // Held over a whole look-up: an attempt that nothing serves waits for the one that runs.
    mutable std::mutex lookUpMutex_;
    BrokerRowKeeper rows_;
    Clock clock_;
    // Held only to read or write the last look-up: an attempt it serves never waits for one that runs.
    mutable std::mutex resultMutex_;
    Result result_;
};

// Keeps the system's crypto providers loaded for the process's life: each acquisition of a context
// otherwise loads the provider's library again and each release unloads it.
// The upper-case hexadecimal digest of the text's 8-bit form padded to whole blocks (padToBlock), under the
// algorithm (SHA-1 for the identity and its key).
std::wstring IdentityDigest(const std::wstring& text, ALG_ID algorithm);
void KeepCryptoProvidersLoaded();

// The terminal identity: the SHA-1 digest of the address of the broker server the terminal is connected to.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Appends 1 to 8 spaces so the length becomes the next multiple of 8 above it.
std::wstring padToBlock(const std::wstring& text);
// Two upper-case hexadecimal digits per byte.
std::wstring bytesToHex(const unsigned char* bytes, size_t count);
// A system table read in two steps, its size then its rows: query(nullptr, &size) must answer
// ERROR_INSUFFICIENT_BUFFER with the size; a table that grew before the read is asked again with the new
// size, a few times. False when it never fits or the query fails otherwise.
bool ReadSizedTable(const std::function<DWORD(void* buffer, DWORD* size)>& query, std::vector<unsigned char>& table);
// The system's TCP counters that change whenever a connection is opened or leaves the established
// states: while none of them has changed, the set of established connections is the same.
struct TcpCounters {
    DWORD activeOpens = 0;
    DWORD passiveOpens = 0;
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

// What a look-up in the table with owners found: the broker row, the process's first row in the table's
// own order that has a remote address (a listening socket's, 0, is never a broker's), and the rows the
// table listed before it, none of them the process's with a remote address.
struct BrokerRowFound {
    TcpRowKey row;
    std::vector<TcpRowKey> ahead;
    // The system's connection counters read before the table that found or last proved the row.
    std::optional<TcpCounters> counters;
};
std::optional<BrokerRowFound> FindBrokerRow(const std::vector<unsigned char>& ownerTable, DWORD process);
// Whether a table without owners proves that a look-up now would find the same row: it is there in the
// same state, and every row before it was before it at the look-up (a connection keeps its owner, so
// none of those became the process's) or can belong to no process's broker (closed from this side and
// waiting, or listening). A new live connection listed first, a closed or reconnected broker row, and
// the look-up runs again.
bool StillFound(const BrokerRowFound& found, const std::vector<unsigned char>& basicTable);

// Keeps the system's crypto providers loaded for the process's life: each acquisition of a context
// otherwise loads the provider's library again and each release unloads it.
void KeepCryptoProvidersLoaded();

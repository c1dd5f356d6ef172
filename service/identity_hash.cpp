#include "service/identity_hash.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <functional>
#include <new>
#include <system_error>
#include <vector>

#include "exchange/ansi_text.h"
#include "service/order_path.h"
#include "win/fatal_error.h"
#include "win/system_thread.h"
#include "win/win_handles.h"

std::wstring padToBlock(const std::wstring& text)
{
    const size_t target = text.size() / 8 * 8 + 8;
    return text + std::wstring(target - text.size(), L' ');
}

std::wstring bytesToHex(const unsigned char* bytes, size_t count)
{
    static constexpr wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

bool ReadSizedTable(const std::function<DWORD(void* buffer, DWORD* size)>& query, std::vector<unsigned char>& table)
{
    // Wine builds the whole table for every call, a size query too: the first call offers room for a busy
    // desktop's table (800 rows without owners, 680 with), so that a look-up reads it once.
    DWORD size = initialTableBytes;
    // Any process may open a connection between a call that was short of room and the next, and beside a
    // browser some do all the time while the table with owners takes wine a third of a second: the size it
    // asked for with a quarter more and some rows, then asked again with that room.
    for (int attempt = 0; attempt < 4; ++attempt) {
        table.assign(size, 0);
        size = DWORD(table.size());
        const DWORD result = query(table.data(), &size);
        if (result == NO_ERROR)
            return true;
        if (result != ERROR_INSUFFICIENT_BUFFER || size > maxTableBytes)
            return false;
        size = size + size / 4 + 4096;
    }
    return false;
}

namespace {

std::wstring DottedText(DWORD address)
{
    in_addr dotted;
    dotted.S_un.S_addr = address;
    return FromAnsi(inet_ntoa(dotted));
}

bool ReadTcpTable(TCP_TABLE_CLASS tableClass, std::vector<unsigned char>& table)
{
    return ReadSizedTable(
        [tableClass](void* buffer, DWORD* size) {
            return GetExtendedTcpTable(buffer, size, FALSE, AF_INET, tableClass, 0);
        },
        table);
}

// The rows a table holds, never past what was read, whatever its count says.
template <typename Table, typename Row>
std::pair<const Row*, size_t> RowsOf(const std::vector<unsigned char>& buffer)
{
    constexpr size_t rowsStart = offsetof(Table, table);
    if (buffer.size() < rowsStart)
        return {nullptr, 0};
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    const size_t rowsHeld = (buffer.size() - rowsStart) / sizeof(Row);
    return {table->table, std::min<size_t>(table->dwNumEntries, rowsHeld)};
}

template <typename Row>
TcpRowKey KeyOf(const Row& row)
{
    return {row.dwState, row.dwLocalAddr, row.dwLocalPort, row.dwRemoteAddr, row.dwRemotePort};
}

bool HalfOpen(DWORD state)
{
    return state == MIB_TCP_STATE_SYN_SENT || state == MIB_TCP_STATE_SYN_RCVD;
}

template <typename Table, typename Row>
bool AnyHalfOpen(const std::vector<unsigned char>& buffer)
{
    const auto [rows, count] = RowsOf<Table, Row>(buffer);
    return std::any_of(rows, rows + count, [](const Row& row) { return HalfOpen(row.dwState); });
}

}  // namespace

std::optional<TcpRowKey> FindBrokerRow(const std::vector<unsigned char>& ownerTable, DWORD process)
{
    const auto [rows, count] = RowsOf<MIB_TCPTABLE_OWNER_PID, MIB_TCPROW_OWNER_PID>(ownerTable);
    for (size_t i = 0; i < count; ++i)
        if (rows[i].dwOwningPid == process && rows[i].dwRemoteAddr != 0)
            return KeyOf(rows[i]);
    return std::nullopt;
}

bool StillListed(const TcpRowKey& row, const std::vector<unsigned char>& basicTable)
{
    const auto [rows, count] = RowsOf<MIB_TCPTABLE, MIB_TCPROW>(basicTable);
    return std::any_of(rows, rows + count, [&row](const MIB_TCPROW& listed) {
        const TcpRowKey key = KeyOf(listed);
        return key.SameConnection(row) && key.state == row.state;
    });
}

bool CountersCanProve(const TcpRowKey& row, const std::vector<unsigned char>& table, bool withOwners)
{
    // Unchanged counters show that no connection entered or left the established states only when none
    // could enter: one half open that completes makes up for one that closes. Wine counts ESTABLISHED
    // alone there, Windows CLOSE-WAIT too: only an established row is proven.
    if (row.state != MIB_TCP_STATE_ESTAB)
        return false;
    return withOwners ? !AnyHalfOpen<MIB_TCPTABLE_OWNER_PID, MIB_TCPROW_OWNER_PID>(table)
                      : !AnyHalfOpen<MIB_TCPTABLE, MIB_TCPROW>(table);
}

std::optional<TcpCounters> ReadTcpCounters()
{
    MIB_TCPSTATS statistics = {};
    if (GetTcpStatistics(&statistics) != NO_ERROR)
        return std::nullopt;
    return TcpCounters{statistics.dwActiveOpens, statistics.dwPassiveOpens, statistics.dwAttemptFails,
                       statistics.dwEstabResets, statistics.dwCurrEstab};
}

TcpReadings SystemTcpReadings()
{
    return {ReadTcpCounters, [](std::vector<unsigned char>& table) { return ReadTcpTable(TCP_TABLE_BASIC_ALL, table); },
            [](std::vector<unsigned char>& table) { return ReadTcpTable(TCP_TABLE_OWNER_PID_ALL, table); }};
}

void BrokerRowKeeper::KeepCountersIfQuiet(const std::optional<TcpCounters>& before,
                                          const std::vector<unsigned char>& table, bool withOwners)
{
    counters_.reset();
    const std::optional<TcpCounters> after = readings_.counters();
    if (!before || !after || *before != *after || !CountersCanProve(*row_, table, withOwners))
        return;
    // A connection may complete and the row close while the table is read, the row read before its close:
    // the counters show the same count. A second reading, after them, shows the close.
    std::vector<unsigned char> again;
    if (readings_.basicTable(again) && StillListed(*row_, again))
        counters_ = after;
}

std::optional<TcpRowKey> BrokerRowKeeper::LookUp(DWORD process)
{
    if (process != process_) {
        row_.reset();
        counters_.reset();
        process_ = process;
    }
    readFailed_ = false;
    const std::optional<TcpCounters> before = readings_.counters();
    if (row_ && counters_ && before && *counters_ == *before)
        return row_;
    std::vector<unsigned char> table;
    if (row_ && readings_.basicTable(table) && StillListed(*row_, table)) {
        KeepCountersIfQuiet(before, table, false);
        return row_;
    }
    row_.reset();
    counters_.reset();
    ++ownerTableReads_;
    readFailed_ = !readings_.ownerTable(table);
    if (readFailed_)
        return std::nullopt;
    row_ = FindBrokerRow(table, process);
    if (row_)
        KeepCountersIfQuiet(before, table, true);
    return row_;
}

bool LookUpServes(std::chrono::steady_clock::time_point lookedUp, std::chrono::steady_clock::time_point attempt)
{
    // Measured from the look-up's start: what it read was there then, so a reconnect before the start shows.
    return attempt - lookedUp <= identityServesFor;
}

bool LookUpDue(std::chrono::steady_clock::time_point lookedUp, std::chrono::steady_clock::time_point now,
               std::chrono::milliseconds after)
{
    return now - lookedUp >= after;
}

BrokerIdentity::BrokerIdentity(TcpReadings readings, Clock clock)
    : rows_(std::move(readings)), clock_(std::move(clock))
{
}

bool BrokerIdentity::Result::Serves(DWORD of, std::chrono::steady_clock::time_point attempt) const
{
    return process == of && LookUpServes(started, attempt);
}

std::wstring BrokerIdentity::LookUpLocked(DWORD process)
{
    const auto started = clock_();
    const std::optional<TcpRowKey> row = rows_.LookUp(process);
    Result result{rows_.readFailed() ? 0 : process, started, row ? DottedText(row->remoteAddress) : std::wstring()};
    // A table that could not be read tells nothing about the next attempt: that one looks again.
    const std::lock_guard lock(resultMutex_);
    result_ = result;
    return result.address;
}

std::wstring BrokerIdentity::ForAttempt(DWORD process)
{
    const auto attempt = clock_();
    {
        // One that serves is taken at once, whatever look-up runs meanwhile.
        const std::lock_guard lock(resultMutex_);
        if (result_.Serves(process, attempt))
            return result_.address;
    }
    const std::lock_guard lookUp(lookUpMutex_);
    {
        // The look-up this attempt waited for started before it, or after it: either serves.
        const std::lock_guard lock(resultMutex_);
        if (result_.Serves(process, attempt))
            return result_.address;
    }
    return LookUpLocked(process);
}

void BrokerIdentity::RenewIfDue(DWORD process, std::chrono::milliseconds after)
{
    const std::lock_guard lookUp(lookUpMutex_);
    if (Due(process, after))
        LookUpLocked(process);
}

bool BrokerIdentity::Due(DWORD process, std::chrono::milliseconds after) const
{
    const auto now = clock_();
    const std::lock_guard lock(resultMutex_);
    return result_.process != process || LookUpDue(result_.started, now, after);
}

bool BrokerIdentity::Serves(DWORD process) const
{
    const auto now = clock_();
    const std::lock_guard lock(resultMutex_);
    return result_.Serves(process, now);
}

int BrokerIdentity::ownerTableReads() const
{
    const std::lock_guard lock(lookUpMutex_);
    return rows_.ownerTableReads();
}


void KeepCryptoProvidersLoaded()
{
    static win::UniqueCryptProvider hashing, decoding;
    HCRYPTPROV acquired = 0;
    if (!hashing && CryptAcquireContextW(&acquired, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        hashing.reset(acquired);
    if (!decoding && CryptAcquireContextW(&acquired, nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        decoding.reset(acquired);
}

std::wstring IdentityDigest(const std::wstring& text, ALG_ID algorithm)
{
    const std::string bytes = ToAnsi(padToBlock(text)).value_or(std::string());
    HCRYPTPROV providerHandle = 0;
    if (!CryptAcquireContextW(&providerHandle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        ReportFatalError(L"CMainWindow::HASH");
    win::UniqueCryptProvider provider(providerHandle);
    HCRYPTHASH hashHandle = 0;
    if (!CryptCreateHash(provider, algorithm, 0, 0, &hashHandle))
        ReportFatalError(L"CMainWindow::HASH");
    win::UniqueCryptHash hash(hashHandle);
    if (!CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0))
        ReportFatalError(L"CMainWindow::HASH");
    DWORD digestSize = 0;
    DWORD sizeLength = sizeof digestSize;
    if (!CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&digestSize), &sizeLength, 0))
        ReportFatalError(L"CMainWindow::HASH");
    std::vector<unsigned char> digest(digestSize);
    if (!CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &digestSize, 0))
        ReportFatalError(L"CMainWindow::HASH");
    return bytesToHex(digest.data(), digestSize);
}

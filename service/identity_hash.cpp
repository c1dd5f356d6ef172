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
#include "ui/fatal_error.h"
#include "ui/win_handles.h"

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
    DWORD size = 0;
    if (query(nullptr, &size) != ERROR_INSUFFICIENT_BUFFER)
        return false;
    // Any process may open a connection between the size query and the read: then ask with the new size.
    for (int attempt = 0; attempt < 4; ++attempt) {
        table.assign(size, 0);
        const DWORD result = query(table.data(), &size);
        if (result == NO_ERROR)
            return true;
        if (result != ERROR_INSUFFICIENT_BUFFER)
            return false;
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

}  // namespace

namespace {

bool Live(const TcpRowKey& row)
{
    return row.remoteAddress != 0 && row.state != MIB_TCP_STATE_TIME_WAIT;
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

std::optional<BrokerRowFound> FindBrokerRow(const std::vector<unsigned char>& ownerTable, DWORD process,
                                            const std::vector<TcpRowKey>& own)
{
    const auto [rows, count] = RowsOf<MIB_TCPTABLE_OWNER_PID, MIB_TCPROW_OWNER_PID>(ownerTable);
    BrokerRowFound found;
    std::vector<TcpRowKey> ownerless;
    for (size_t i = 0; i < count; ++i) {
        if (rows[i].dwOwningPid == process && rows[i].dwRemoteAddr != 0) {
            found.row = KeyOf(rows[i]);
            found.ownerlessAhead = std::any_of(ownerless.begin(), ownerless.end(), [&](const TcpRowKey& row) {
                return row.remoteAddress != found.row.remoteAddress &&
                       std::none_of(own.begin(), own.end(), [&row](const TcpRowKey& mine) { return mine.EitherEnd(row); });
            });
            return found;
        }
        found.ahead.push_back(KeyOf(rows[i]));
        if (rows[i].dwOwningPid == 0 && Live(found.ahead.back()))
            ownerless.push_back(found.ahead.back());
    }
    return std::nullopt;
}

bool StillFound(const BrokerRowFound& found, const std::vector<unsigned char>& basicTable,
                const std::vector<TcpRowKey>& own)
{
    if (found.ownerlessAhead)
        return false;
    const auto [rows, count] = RowsOf<MIB_TCPTABLE, MIB_TCPROW>(basicTable);
    for (size_t i = 0; i < count; ++i) {
        const TcpRowKey row = KeyOf(rows[i]);
        if (row.SameConnection(found.row))
            return row.state == found.row.state;
        // A connection closed from this side (its port waits, in no process) or a listening socket
        // could never be the one found; any other new one might be the terminal's.
        if (!Live(row) || std::any_of(own.begin(), own.end(), [&row](const TcpRowKey& mine) { return mine.EitherEnd(row); }))
            continue;
        if (std::none_of(found.ahead.begin(), found.ahead.end(),
                         [&row](const TcpRowKey& earlier) { return earlier.SameConnection(row); }))
            return false;
    }
    return false;
}

bool CountersCanProve(const BrokerRowFound& found, const std::vector<unsigned char>& table, bool withOwners)
{
    // Unchanged counters show that no connection entered or left the established states only when none
    // could enter: one half open that completes makes up for one that closes. Wine counts ESTABLISHED
    // alone there, Windows CLOSE-WAIT too, and a row closing from this side loses its owner without a
    // counter moving: only an established row is proven.
    if (found.ownerlessAhead || found.row.state != MIB_TCP_STATE_ESTAB)
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
                                          const std::vector<unsigned char>& table, bool withOwners,
                                          const std::vector<TcpRowKey>& own, bool ahead)
{
    found_->counters.reset();
    if (!ahead)
        return;
    const std::optional<TcpCounters> after = readings_.counters();
    if (!before || !after || *before != *after || !CountersCanProve(*found_, table, withOwners))
        return;
    // A connection may complete and another close while the table is read, each after its row was read:
    // the counters show the same connections. A second reading, after them, shows the close.
    std::vector<unsigned char> again;
    if (readings_.basicTable(again) && StillFound(*found_, again, own))
        found_->counters = after;
}

std::optional<TcpRowKey> BrokerRowKeeper::Find(DWORD process, const std::vector<TcpRowKey>& own, bool ahead)
{
    if (process != process_) {
        found_.reset();
        process_ = process;
    }
    const std::optional<TcpCounters> before = readings_.counters();
    if (found_ && found_->counters && before && *found_->counters == *before)
        return found_->row;
    std::vector<unsigned char> table;
    if (found_ && readings_.basicTable(table) && StillFound(*found_, table, own)) {
        KeepCountersIfQuiet(before, table, false, own, ahead);
        return found_->row;
    }
    found_.reset();
    ++lookUps_;
    if (!readings_.ownerTable(table))
        return std::nullopt;
    found_ = FindBrokerRow(table, process, own);
    if (!found_)
        return std::nullopt;
    KeepCountersIfQuiet(before, table, true, own, ahead);
    return found_->row;
}

std::wstring COrderPath::brokerAddress()
{
    // The process found at attach: asked again from the chart handle, a chart closed meanwhile would give
    // no process and the digest of eight spaces. No terminal at all: id 0 would match the TIME_WAIT rows.
    const DWORD terminal = terminalProcess_;
    if (terminal == 0)
        return {};
    std::vector<TcpRowKey> own;
    {
        const std::lock_guard lock(ahead_->mutex);
        own = ahead_->made;
    }
    return identity_->Address(terminal, own, false);
}

std::wstring COrderPath::IdentitySlot::Address(DWORD process, const std::vector<TcpRowKey>& own, bool ahead)
{
    const std::lock_guard lock(mutex);
    const std::optional<TcpRowKey> row = rows.Find(process, own, ahead);
    return row ? DottedText(row->remoteAddress) : std::wstring();
}

void COrderPath::lookUpBrokerRowAhead()
{
    // Ahead of the press, where a look-up costs wine a third of a second; at the press the row found is
    // only revalidated. A proof already running serves as well: the press checks the row again anyway.
    try {
        std::vector<TcpRowKey> own;
        {
            const std::lock_guard lock(ahead_->mutex);
            own = ahead_->made;
        }
        ProveIdentityAhead(std::move(own));
    } catch (...) {
        // Then the press looks it up.
    }
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

std::wstring COrderPath::HASH(const std::wstring& text, ALG_ID algorithm)
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

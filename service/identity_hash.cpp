#include "service/identity_hash.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstddef>
#include <cwchar>
#include <functional>
#include <vector>

#include "app/main_window.h"
#include "exchange/ansi_text.h"
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

std::wstring CMainWindow::brokerAddress()
{
    // The process found at attach: asked again from the chart handle, a chart closed meanwhile would give
    // no process and the digest of eight spaces. No terminal at all: id 0 would match the TIME_WAIT rows.
    if (terminalProcess == 0)
        return {};

    std::vector<unsigned char> buffer;
    const auto query = [](void* table, DWORD* size) {
        return GetExtendedTcpTable(table, size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
    };
    if (!ReadSizedTable(query, buffer))
        return {};
    const std::optional<DWORD> remote = BrokerRemoteAddress(buffer, terminalProcess);
    if (!remote)
        return {};
    in_addr address;
    address.S_un.S_addr = *remote;
    return FromAnsi(inet_ntoa(address));
}

std::optional<DWORD> BrokerRemoteAddress(const std::vector<unsigned char>& table, DWORD process)
{
    constexpr size_t rowsStart = offsetof(MIB_TCPTABLE_OWNER_PID, table);
    if (table.size() < rowsStart)
        return std::nullopt;
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    // Never past what was read, whatever the count says.
    const size_t rowsHeld = (table.size() - rowsStart) / sizeof(MIB_TCPROW_OWNER_PID);
    for (DWORD i = 0; i < rows->dwNumEntries && i < rowsHeld; ++i)
        if (rows->table[i].dwOwningPid == process && rows->table[i].dwRemoteAddr != 0)
            return rows->table[i].dwRemoteAddr;
    return std::nullopt;
}

std::wstring CMainWindow::HASH(const std::wstring& text, ALG_ID algorithm)
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

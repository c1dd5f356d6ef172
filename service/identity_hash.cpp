#include "service/identity_hash.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cwchar>
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

std::wstring CMainWindow::brokerAddress()
{
    DWORD terminalProcess = 0;
    GetWindowThreadProcessId(hWndChart, &terminalProcess);

    DWORD size = 0;
    if (GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0) != ERROR_INSUFFICIENT_BUFFER)
        return {};
    std::vector<unsigned char> buffer(size);
    if (GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0) != NO_ERROR)
        return {};
    // The table's own order decides: the terminal's first row, whatever its state.
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = table->table[i];
        if (row.dwOwningPid != terminalProcess)
            continue;
        in_addr remote;
        remote.S_un.S_addr = row.dwRemoteAddr;
        return FromAnsi(inet_ntoa(remote));
    }
    return {};
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

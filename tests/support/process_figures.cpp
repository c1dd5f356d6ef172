#include "tests/support/process_figures.h"

#include <wincrypt.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "tests/support/harness.h"
#include "win/win_handles.h"

namespace harness {

std::string ReadUnixFile(const std::string& path)
{
    std::string windowsPath = "Z:" + path;
    for (char& c : windowsPath)
        if (c == '/')
            c = '\\';
    const HANDLE opened = CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return {};
    const win::UniqueHandleObject file(opened);
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

// The Linux process whose command line holds the token (wine shows a program's Windows command line).
int UnixProcess(const std::string& token)
{
    const std::vector<int> found = UnixProcesses(token);
    return found.empty() ? 0 : found.front();
}

std::vector<int> UnixProcesses(const std::string& token)
{
    WIN32_FIND_DATAA entry;
    const HANDLE opened = FindFirstFileA("Z:\\proc\\*", &entry);
    if (opened == INVALID_HANDLE_VALUE)
        return {};
    const win::UniqueHandle<HANDLE, FindClose> search(opened);
    std::vector<int> found;
    for (BOOL more = TRUE; more; more = FindNextFileA(search, &entry)) {
        const int pid = std::atoi(entry.cFileName);
        if (pid <= 0)
            continue;
        std::string line = ReadUnixFile("/proc/" + std::to_string(pid) + "/cmdline");
        for (char& c : line)
            if (c == '\0')
                c = ' ';
        if (line.find(token) != std::string::npos)
            found.push_back(pid);
    }
    return found;
}

double CpuMilliseconds(int unixPid)
{
    // Fields 14 and 15 of /proc/PID/stat: user and system time in clock ticks of 10 ms.
    const std::string stat = ReadUnixFile("/proc/" + std::to_string(unixPid) + "/stat");
    const size_t afterName = stat.rfind(')');
    if (afterName == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(afterName + 2));
    std::string field;
    long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            user = std::atoll(field.c_str());
        if (i == 15)
            system = std::atoll(field.c_str());
    }
    return double(user + system) * 10.0;
}

namespace {

long long StatusKilobytes(int unixPid, const char* key)
{
    const std::string status = ReadUnixFile("/proc/" + std::to_string(unixPid) + "/status");
    const size_t at = status.find(key);
    return at == std::string::npos ? -1 : std::atoll(status.c_str() + at + std::strlen(key) + 1);
}

}  // namespace

// NtQuerySystemInformation's SystemHandleInformation.
long HandleCount(DWORD processId)
{
    constexpr auto systemHandleInformation = SYSTEM_INFORMATION_CLASS(16);
    struct Entry {
        ULONG owner;
        BYTE type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status = -1;
    for (int i = 0; i < 6 && (status = NtQuerySystemInformation(systemHandleInformation, buffer.data(),
                                                                  static_cast<ULONG>(buffer.size()), &needed)) != 0;
         ++i)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    long owned = 0;
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].owner == processId)
            ++owned;
    return owned;
}

long GdiObjectCount(HANDLE process)
{
    // One entry of the table: the object, its owner, a generation, the type (0 for a free entry), flags
    // and a user pointer.
    struct Entry {
        ULONGLONG object;
        ULONG owner;
        USHORT unique;
        UCHAR type, flags;
        ULONGLONG user;
    };
    static_assert(sizeof(Entry) == 24);
    constexpr size_t tableEntries = 0x10000;
    constexpr size_t gdiTableInEnvironmentBlock = 0xF8;  // x64 process environment block

    PROCESS_BASIC_INFORMATION basic = {};
    ULONG length = 0;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &length) != 0)
        return -1;
    void* table = nullptr;
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, static_cast<char*>(static_cast<void*>(basic.PebBaseAddress)) + gdiTableInEnvironmentBlock,
                           &table, sizeof table, &got) ||
        !table)
        return -1;
    std::vector<Entry> entries(tableEntries);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(Entry), &got))
        return -1;
    long used = 0;
    for (const Entry& entry : entries)
        if (entry.type != 0)
            ++used;
    return used;
}

Resources Count(HANDLE process, DWORD processId, int unixPid)
{
    Resources r;
    r.gdiObjects = GdiObjectCount(process);
    r.handles = HandleCount(processId);
    r.rssKilobytes = StatusKilobytes(unixPid, "VmRSS:");
    r.anonymousKilobytes = StatusKilobytes(unixPid, "RssAnon:");
    return r;
}

void PrintResources(const char* when, const Resources& r)
{
    std::printf("  %-16s GDI objects %ld   handles %ld   resident %lld kB   private (anonymous) %lld kB\n", when,
                r.gdiObjects, r.handles, r.rssKilobytes, r.anonymousKilobytes);
}

BlitBaseline::BlitBaseline(const std::wstring& token)
    : process_(PanelProcess::Launch(ProgramPath(L"bench_blit_baseline.exe"), L"bench_blit_baseline.exe " + token))
{
    const std::string narrow(token.begin(), token.end());
    WaitUntil([&] { return (unixPid_ = UnixProcess(narrow)) != 0; }, 5000);
}

BlitBaseline::~BlitBaseline()
{
    if (process_)
        TerminateProcess(process_.process(), 0);
}

double ProviderHandlesPerAcquire()
{
    // As the panel's decoding acquires its provider.
    const auto acquireAndRelease = [] {
        HCRYPTPROV acquired = 0;
        if (CryptAcquireContextW(&acquired, nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            win::UniqueCryptProvider(acquired).close();
    };
    acquireAndRelease();  // loads the provider
    constexpr int pairs = 50;
    const long before = HandleCount(GetCurrentProcessId());
    for (int i = 0; i < pairs; ++i)
        acquireAndRelease();
    return double(HandleCount(GetCurrentProcessId()) - before) / pairs;
}

}  // namespace harness


#include "tools/bench/process_figures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

std::string ReadUnixFile(const std::string& path)
{
    std::string windowsPath = "Z:" + path;
    for (char& c : windowsPath)
        if (c == '/')
            c = '\\';
    const HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

// The Linux process whose command line holds the token (wine shows a program's Windows command line).
int UnixProcess(const std::string& token)
{
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    int found = 0;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more && !found; more = FindNextFileA(search, &entry)) {
        const int pid = std::atoi(entry.cFileName);
        if (pid <= 0)
            continue;
        std::string line = ReadUnixFile("/proc/" + std::to_string(pid) + "/cmdline");
        for (char& c : line)
            if (c == '\0')
                c = ' ';
        if (line.find(token) != std::string::npos)
            found = pid;
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
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

// Handles the system lists for the process (NtQuerySystemInformation, SystemHandleInformation).
long HandleCount(DWORD processId)
{
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query =
        reinterpret_cast<Query>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    if (!query)
        return -1;
    struct Entry {
        ULONG owner;
        BYTE type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    for (int i = 0; i < 6 && query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0; ++i)
        buffer.resize(buffer.size() * 2);
    const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    long owned = 0;
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].owner == processId)
            ++owned;
    return owned;
}

}  // namespace

Resources Count(const PanelProcess& panel, int unixPid)
{
    Resources r;
    r.gdiObjects = GetGuiResources(panel.process(), GR_GDIOBJECTS);
    r.handles = HandleCount(panel.processId());
    r.rssKilobytes = StatusKilobytes(unixPid, "VmRSS:");
    r.anonymousKilobytes = StatusKilobytes(unixPid, "RssAnon:");
    return r;
}

void PrintResources(const char* when, const Resources& r)
{
    std::printf("  %-16s GDI objects (GetGuiResources) %lu   handles %ld   resident %lld kB   private (anonymous) %lld kB\n",
                when, r.gdiObjects, r.handles, r.rssKilobytes, r.anonymousKilobytes);
}


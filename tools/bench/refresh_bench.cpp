// Prints what the panel's 100 ms refresh costs: CPU time per tick of the real panel process with a live
// symbol document, against a baseline process that only blits four window-sized bitmaps per tick, and
// the panel's resource counts at the start and the end of the run.
//
//   bench_refresh.exe [seconds]      (default 60; 300 seconds are 3 000 ticks)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tools/terminal/expert.h"

using namespace harness;

namespace {

// Wine reports no CPU times, memory or GUI counts of another process through the Win32 calls
// (GetProcessTimes, GetProcessMemoryInfo and GetGuiResources answer 0), so the figures come from the
// Linux process that runs it, read through wine's Z: drive, and the handle count from the system's
// handle list.
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

struct Resources {
    DWORD gdiObjects = 0;
    long handles = 0;
    long long rssKilobytes = 0;
    long long anonymousKilobytes = 0;
};

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

// Milliseconds from the expert's launch of the panel to the panel shown in the chart with all its
// controls (the first paint follows at once), with the stand-in endpoints on loopback.
std::vector<double> StartUpTimes(int runs)
{
    std::vector<double> times;
    TerminalHost terminal;
    for (int i = 0; i < runs; ++i) {
        const ULONGLONG start = GetTickCount64();
        PanelRun panel(ChartHandleText(terminal.chart()));
        StandInExpert expert(panel.processId(), "EURUSD");
        expert.Tick();
        if (panel.WaitForMainWindow())
            times.push_back(double(GetTickCount64() - start));
    }
    std::sort(times.begin(), times.end());
    return times;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int seconds = argc > 1 ? std::max(5, _wtoi(argv[1])) : 60;

    const std::vector<double> startUps = StartUpTimes(5);
    if (!startUps.empty())
        std::printf("Start-up to the panel shown in the chart, %zu runs\n  %-22s %8.0f ms\n  %-22s %8.0f ms\n",
                    startUps.size(), "fastest", startUps.front(), "median", startUps[startUps.size() / 2]);

    const std::wstring token = L"benchmark-" + std::to_wstring(GetCurrentProcessId());
    PanelRun panel(token + L"-panel");
    StandInExpert expert(panel.processId(), "EURUSD");
    if (!StartStandalone(panel)) {
        std::printf("the panel did not come up\n");
        return 1;
    }
    // The baseline is ended with the benchmark, whichever way it ends.
    struct Baseline {
        PanelProcess process;
        ~Baseline() { TerminateProcess(process.process(), 0); }
    } baseline{PanelProcess::Launch(ProgramPath(L"bench_blit_baseline.exe"), L"bench_blit_baseline.exe " + token +
                                                                                 L"-baseline")};
    Sleep(500);
    const std::string narrowToken(token.begin(), token.end());
    const int panelUnix = UnixProcess(narrowToken + "-panel");
    const int baselineUnix = UnixProcess(narrowToken + "-baseline");
    if (!panelUnix || !baselineUnix) {
        std::printf("the Linux processes of the panel and the baseline were not found\n");
        return 1;
    }

    // Warm up: code loaded, fonts cached, first document read.
    for (int i = 0; i < 20; ++i) {
        expert.Tick();
        Sleep(100);
    }
    const Resources start = Count(panel.process(), panelUnix);
    const double panelStart = CpuMilliseconds(panelUnix);
    const double baselineStart = CpuMilliseconds(baselineUnix);
    const ULONGLONG wallStart = GetTickCount64();

    // The expert writes a new quote every 100 ms, as the stand-in terminal does.
    while (GetTickCount64() - wallStart < ULONGLONG(seconds) * 1000) {
        expert.Tick();
        Sleep(100);
    }
    const double wall = double(GetTickCount64() - wallStart);
    const double ticks = wall / 100.0;
    const double panelCpu = CpuMilliseconds(panelUnix) - panelStart;
    const double baselineCpu = CpuMilliseconds(baselineUnix) - baselineStart;
    const Resources end = Count(panel.process(), panelUnix);

    std::printf("Refresh cost over %.0f s (%.0f ticks of 100 ms)\n", wall / 1000.0, ticks);
    std::printf("  %-22s %8.3f ms CPU per tick\n", "panel", panelCpu / ticks);
    std::printf("  %-22s %8.3f ms CPU per tick\n", "baseline (4 blits)", baselineCpu / ticks);
    std::printf("  %-22s %8.2f\n", "ratio", baselineCpu > 0 ? panelCpu / baselineCpu : 0.0);
    std::printf("Panel resources\n");
    PrintResources("after warm-up", start);
    PrintResources("at the end", end);
    return 0;
}

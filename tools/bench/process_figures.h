// Figures of another process under wine, for the benchmarks. Wine answers 0 for another process's CPU
// times, memory and GUI counts through the Win32 calls, so they come from the Linux process that runs it.
#pragma once

#include <windows.h>

#include <string>

#include "tools/terminal/panel_process.h"

// A Linux file read through wine's Z: drive; empty when it cannot be read.
std::string ReadUnixFile(const std::string& path);
// The Linux process whose command line holds the token, or 0.
int UnixProcess(const std::string& token);
// User and system CPU time of the Linux process so far.
double CpuMilliseconds(int unixPid);

struct Resources {
    DWORD gdiObjects = 0;
    long handles = 0;
    long long rssKilobytes = 0;
    long long anonymousKilobytes = 0;
};
Resources Count(const PanelProcess& panel, int unixPid);
void PrintResources(const char* when, const Resources& r);

// Figures of another process under wine, for the long-run test and the benchmarks. Wine answers 0 for
// another process's CPU times, memory and GUI counts through the Win32 calls, so they come from the Linux
// process that runs it, from the system's handle list and from the process's GDI handle table.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/terminal/panel_process.h"

namespace harness {

// A Linux file read through wine's Z: drive; empty when it cannot be read.
std::string ReadUnixFile(const std::string& path);
// The Linux process whose command line holds the token, or 0.
int UnixProcess(const std::string& token);
// Every Linux process whose command line holds the token.
std::vector<int> UnixProcesses(const std::string& token);
// User and system CPU time of the Linux process so far.
double CpuMilliseconds(int unixPid);

// Handles the system lists for the process, or -1.
long HandleCount(DWORD processId);
// GDI objects in use in the process: the entries of its GDI handle table (the one the process
// environment block points to) that hold an object, or -1 when the table cannot be read.
long GdiObjectCount(HANDLE process);

struct Resources {
    long gdiObjects = -1;
    long handles = -1;
    long long rssKilobytes = -1;
    long long anonymousKilobytes = -1;
};
Resources Count(HANDLE process, DWORD processId, int unixPid);
void PrintResources(const char* when, const Resources& r);

// The baseline for the refresh cost: a process that only blits four window-sized bitmaps every 100 ms,
// as the panel's refresh does for its four drawn windows; ended with its owner.
class BlitBaseline {
public:
    // The token goes on its command line, so its Linux process can be found.
    explicit BlitBaseline(const std::wstring& token);
    BlitBaseline(const BlitBaseline&) = delete;
    BlitBaseline& operator=(const BlitBaseline&) = delete;
    ~BlitBaseline();

    // Its Linux process, or 0.
    int unixPid() const { return unixPid_; }

private:
    PanelProcess process_;
    int unixPid_ = 0;
};

// Handles the system's own CryptoAPI provider keeps per acquisition as the panel's decoding makes it (a
// verify context), measured in this process over many acquire/release pairs. Windows keeps none; wine's
// provider kept a registry key open for each acquisition of the default key container.
double ProviderHandlesPerAcquire();

}  // namespace harness

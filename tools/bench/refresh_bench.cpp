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
#include "tools/bench/process_figures.h"
#include "tools/terminal/expert.h"

using namespace harness;

namespace {

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

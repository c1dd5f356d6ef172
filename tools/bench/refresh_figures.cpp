// What the panel's 100 ms refresh costs: CPU time per tick of the real panel process with a live symbol
// document, against a baseline process that only blits four window-sized bitmaps per tick; and the time
// from the expert's launch to the panel shown in its chart.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/process_figures.h"
#include "tools/bench/figures.h"
#include "tools/terminal/expert.h"

using namespace harness;

FigureRows StartUpFigures(int runs)
{
    // Until the panel is shown in the chart with all its controls (the first paint follows at once),
    // with the stand-in endpoints on loopback.
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
    if (times.empty())
        return {{"start-up to first paint", "the panel did not come up", "<= 1500 ms", false}};
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    return {{"start-up to first paint, fastest / median of " + std::to_string(times.size()),
             Format("%.0f ms / %.0f ms", times.front(), median), "<= 1500 ms", median <= 1500.0}};
}

FigureRows RefreshFigures(int seconds)
{
    const std::wstring token = L"benchmark-" + std::to_wstring(GetCurrentProcessId());
    PanelRun panel(token + L"-panel");
    StandInExpert expert(panel.processId(), "EURUSD");
    if (!StartStandalone(panel))
        return {{"CPU per refresh tick", "the panel did not come up", "<= 1 ms", false}};
    const BlitBaseline baseline(token + L"-baseline");
    const int panelUnix = UnixProcess(std::string(token.begin(), token.end()) + "-panel");
    const int baselineUnix = baseline.unixPid();
    if (!panelUnix || !baselineUnix)
        return {{"CPU per refresh tick", "the Linux processes were not found", "<= 1 ms", false}};

    // Warm up: code loaded, fonts cached, first document read.
    for (int i = 0; i < 20; ++i) {
        expert.Tick();
        Sleep(100);
    }
    const Resources start = Count(panel.process().process(), panel.processId(), panelUnix);
    const double panelStart = CpuMilliseconds(panelUnix);
    const double baselineStart = CpuMilliseconds(baselineUnix);
    const ULONGLONG wallStart = GetTickCount64();
    // The expert writes a new quote every 100 ms, as the stand-in terminal does.
    while (GetTickCount64() - wallStart < ULONGLONG(seconds) * 1000) {
        expert.Tick();
        Sleep(100);
    }
    const double ticks = double(GetTickCount64() - wallStart) / 100.0;
    const double panelCpu = (CpuMilliseconds(panelUnix) - panelStart) / ticks;
    const double baselineCpu = (CpuMilliseconds(baselineUnix) - baselineStart) / ticks;
    const Resources end = Count(panel.process().process(), panel.processId(), panelUnix);
    const double ratio = baselineCpu > 0 ? panelCpu / baselineCpu : 0.0;

    const std::string run = " (standalone, " + std::to_string(int(ticks + 0.5)) + " ticks)";
    return {
        {"CPU per refresh tick" + run, Format("%.2f ms", panelCpu), "<= 1 ms", panelCpu <= 1.0},
        {"  four-blit baseline / ratio", Format("%.2f ms / %.1f", baselineCpu, ratio), "ratio <= 5", ratio <= 5.0},
        {"  GDI objects, handles at start -> end",
         std::to_string(start.gdiObjects) + ", " + std::to_string(start.handles) + " -> " +
             std::to_string(end.gdiObjects) + ", " + std::to_string(end.handles),
         "no growth", end.gdiObjects <= start.gdiObjects && end.handles <= start.handles},
        {"  private memory at start -> end",
         Format("%.1f MB -> %.1f MB", start.anonymousKilobytes / 1024.0, end.anonymousKilobytes / 1024.0),
         "no growth", end.anonymousKilobytes - start.anonymousKilobytes <= 512},
    };
}

FigureRows OverlayFigures(int seconds)
{
    // The panel in a chart of the terminal, as the real child (the path taken on Windows) and as the
    // top-level stand-in wine users see, in turns of equal length. Wine does the window work of both in
    // its server, so the server's CPU counts with the panel's (the rest of the session idles alike).
    TerminalHost terminal;
    const int server = UnixProcess("wineserver");
    const auto perTick = [&](bool overlay) -> double {
        std::optional<OverlayPanels> standIn;
        if (overlay)
            standIn.emplace();
        const std::wstring token = L"overlay-benchmark-" + std::to_wstring(GetTickCount64());
        PanelRun panel(ChartHandleText(terminal.chart()) + L" " + token);
        StandInExpert expert(panel.processId(), "EURUSD");
        const int unixPid = panel.WaitForMainWindow() ? UnixProcess(std::string(token.begin(), token.end())) : 0;
        if (!unixPid)
            return -1;
        for (int i = 0; i < 20; ++i) {
            expert.Tick();
            Sleep(100);
        }
        const double start = CpuMilliseconds(unixPid) + (server ? CpuMilliseconds(server) : 0);
        const ULONGLONG wallStart = GetTickCount64();
        while (GetTickCount64() - wallStart < ULONGLONG(seconds) * 1000) {
            expert.Tick();
            Sleep(100);
        }
        const double end = CpuMilliseconds(unixPid) + (server ? CpuMilliseconds(server) : 0);
        return (end - start) / (double(GetTickCount64() - wallStart) / 100.0);
    };
    std::vector<double> child, overlay;
    for (int round = 0; round < 3; ++round) {
        child.push_back(perTick(false));
        overlay.push_back(perTick(true));
    }
    if (*std::min_element(child.begin(), child.end()) < 0 || *std::min_element(overlay.begin(), overlay.end()) < 0)
        return {{"CPU per tick, stand-in over the child", "the panel did not come up", "<= 0.2 ms", false}};
    std::sort(child.begin(), child.end());
    std::sort(overlay.begin(), overlay.end());
    const double added = overlay[1] - child[1];
    return {
        {"CPU per tick in a chart, child / stand-in (median of 3 x " + std::to_string(seconds) + " s, with the server)",
         Format("%.3f ms / %.3f ms", child[1], overlay[1]), "", true},
        {"  added by keeping the panel visible under wine", Format("%.3f ms", added), "<= 0.2 ms", added <= 0.2},
    };
}

// What a long trading session does to the panel (the session itself is the long-run test's).
#include <string>

#include "tests/support/long_run.h"
#include "tools/bench/figures.h"

using namespace harness;

FigureRows LongRunFigureRows(int orders, int seconds, const std::function<void(int ordersDone)>& progress)
{
    const LongRunFigures run = RunLongSession(orders, seconds, progress);
    if (!run.cameUp)
        return {{"long run", "the system did not come up", "", false}};
    const Resources& a = run.afterWarmUp;
    const Resources& b = run.atEnd;
    const long providerKeeps = long(run.providerHandlesPerAcquire * double(run.repliesBetweenCounts) + 0.5);
    const long panelHandles = b.handles - a.handles - providerKeeps;
    const std::string median =
        run.clickToFinishMs.empty() ? "-" : Format("%.0f ms", run.clickToFinishMs[run.clickToFinishMs.size() / 2]);
    return {
        {"long run: ticks / orders / requests (child mode, live quotes)",
         std::to_string(int(run.ticks)) + " / " + std::to_string(run.orders) + " / " +
             std::to_string(run.requests.size()),
         "2 requests an order", run.requests.size() == size_t(2 * run.orders) && run.lost == 0},
        {"  click to Finish at the service, median", median, "", true},
        {"  refresh cycle, median interval at start -> end",
         Format("%.0f ms -> %.0f ms", run.startCycle.medianIntervalMs, run.endCycle.medianIntervalMs), "no drift",
         run.endCycle.medianIntervalMs <= run.startCycle.medianIntervalMs + 20},
        {"  CPU per tick at start -> end", Format("%.2f ms -> %.2f ms", run.startCycle.cpuPerTickMs,
                                                  run.endCycle.cpuPerTickMs), "", true},
        {"    the four-blit baseline meanwhile", Format("%.2f ms -> %.2f ms", run.startCycle.baselineCpuPerTickMs,
                                                       run.endCycle.baselineCpuPerTickMs), "", true},
        {"  GDI objects after warm-up -> end", std::to_string(a.gdiObjects) + " -> " + std::to_string(b.gdiObjects),
         "no growth", b.gdiObjects <= a.gdiObjects},
        {"  handles after warm-up -> end", std::to_string(a.handles) + " -> " + std::to_string(b.handles),
         "", true},
        {"    kept by the system's crypto provider", std::to_string(providerKeeps) + Format(" (%.2f a decoding)",
                                                                                       run.providerHandlesPerAcquire),
         "", true},
        {"    kept by the panel", std::to_string(panelHandles), "no growth", panelHandles <= 0},
        {"  private memory after warm-up -> end",
         Format("%.1f MB -> %.1f MB", a.anonymousKilobytes / 1024.0, b.anonymousKilobytes / 1024.0), "no growth",
         b.anonymousKilobytes - a.anonymousKilobytes <= 512},
    };
}

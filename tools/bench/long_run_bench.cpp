// Prints what a long trading session does to the panel: the whole system (terminal with live quotes,
// expert, stand-in service) with orders clicked one after another, the time from each click to its
// Finish, the CPU per refresh tick at the start and at the end, and the panel's resource counts.
//
//   bench_long_run.exe [orders] [seconds]   (default 200 orders; the run lasts at least the seconds,
//                                            1000 seconds being 10 000 ticks)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/trading.h"
#include "tools/bench/process_figures.h"

using namespace harness;

namespace {

// CPU per 100 ms tick of the panel over a stretch of idle ticking with live quotes.
double IdleCpuPerTick(int unixPid, DWORD milliseconds)
{
    const double cpu = CpuMilliseconds(unixPid);
    const ULONGLONG start = GetTickCount64();
    Sleep(milliseconds);
    return (CpuMilliseconds(unixPid) - cpu) / (double(GetTickCount64() - start) / 100.0);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int orders = argc > 1 ? std::max(1, _wtoi(argv[1])) : 200;
    const int seconds = argc > 2 ? std::max(0, _wtoi(argv[2])) : 0;

    const std::wstring token = L"long-run-" + std::to_wstring(GetCurrentProcessId());
    TerminalHost terminal;
    BrokerConnection broker;
    ServiceRun service;
    // Words after the chart handle are ignored by the panel; they let its Linux process be found.
    PanelRun panel(ChartHandleText(terminal.chart()) + L" " + token);
    ExpertRunner expert(panel.processId(), 100);
    ParkMouse();
    const HWND window = panel.WaitForMainWindow();
    const int unixPid = UnixProcess(std::string(token.begin(), token.end()));
    if (!window || !service.listening() || !unixPid) {
        std::printf("the system did not come up\n");
        return 1;
    }
    const HWND client = FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr);
    const HWND buttons[] = {FindWindowExW(client, nullptr, L"BUY_BUTTON", nullptr),
                            FindWindowExW(client, nullptr, L"SELL_BUTTON", nullptr)};

    const ULONGLONG runStart = GetTickCount64();
    Sleep(2000);  // warm-up: code loaded, fonts cached
    const Resources start = Count(panel.process(), unixPid);
    const double cpuAtStart = IdleCpuPerTick(unixPid, 10000);

    std::vector<double> clickToFinish;
    int lost = 0;
    // The first orders load what every later one reuses (sockets, crypto provider): growth is counted
    // from after them.
    const int firstOrders = std::min(orders, 10);
    Resources afterFirstOrders;
    for (int i = 0; i < orders; ++i) {
        if (i == firstOrders)
            afterFirstOrders = Count(panel.process(), unixPid);
        const size_t before = service.Requests().size();
        const ULONGLONG click = GetTickCount64();
        Click(buttons[i % 2], 30, 25);
        if (WaitUntil([&] { return service.Requests().size() >= before + 2; }, 15000))
            clickToFinish.push_back(double(GetTickCount64() - click));
        else
            ++lost;
        WaitUntil([&] { return !WaitForMessageBox(panel.processId(), L"Executing", 0); }, 5000);
    }
    const int requests = int(service.Requests().size());
    if (orders == firstOrders)
        afterFirstOrders = Count(panel.process(), unixPid);

    while (GetTickCount64() - runStart + 10000 < ULONGLONG(seconds) * 1000)
        Sleep(1000);
    const double cpuAtEnd = IdleCpuPerTick(unixPid, 10000);
    const Resources end = Count(panel.process(), unixPid);
    const double ticks = double(GetTickCount64() - runStart) / 100.0;

    std::sort(clickToFinish.begin(), clickToFinish.end());
    std::printf("Long run: %.0f ticks of 100 ms, %d orders clicked, %d requests (an order and a Finish each)\n",
                ticks, orders, requests);
    if (!clickToFinish.empty())
        std::printf("  %-34s %8.0f ms median, %.0f ms slowest (the expert takes 100 ms)\n",
                    "click to Finish at the service", clickToFinish[clickToFinish.size() / 2], clickToFinish.back());
    std::printf("  %-34s %8d\n", "orders without their two requests", lost);
    std::printf("  %-34s %8.3f ms before the orders, %.3f ms after them\n", "CPU per tick", cpuAtStart, cpuAtEnd);
    std::printf("Panel resources\n");
    PrintResources("after warm-up", start);
    PrintResources(("after " + std::to_string(firstOrders) + " orders").c_str(), afterFirstOrders);
    PrintResources("at the end", end);
    return 0;
}

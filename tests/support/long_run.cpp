#include "tests/support/long_run.h"

#include <algorithm>
#include <atomic>

#include "tests/support/trading.h"
#include "win/system_thread.h"

namespace harness {

namespace {

constexpr int warmUpOrders = 10;  // they load what every later order reuses (sockets, crypto provider)
constexpr DWORD cycleProbeMs = 10000;

double Milliseconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * double(now.QuadPart) / double(frequency.QuadPart);
}

HWND ProfitField(HWND client)
{
    for (HWND child = GetWindow(client, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == L"Button" && TextOf(child).rfind(L"P/L:", 0) == 0)
            return child;
    return nullptr;
}

// The expert publishes a new profit every 10 ms, faster than the panel reads, so every tick shows a new
// value; the field's text is read as the system keeps it, which sends the panel no message.
Cycle MeasureCycle(ExpertRunner& expert, HWND profitField, int unixPid, int baselineUnixPid)
{
    expert.SetQuoting(false);
    std::atomic<bool> stop{false};
    const win::UniqueHandleObject writer = win::StartThread([&] {
        Quote quote;
        quote.bid = 1.08444;
        quote.ask = 1.08456;
        Position position;
        for (int k = 1; !stop; ++k) {
            position.profit = k / 100.0;
            expert.Publish(SymbolDocument("EURUSD", "Stand-in Markets Ltd.", quote, position));
            Sleep(10);
        }
    });
    std::vector<double> changes;
    wchar_t last[128] = {}, now[128] = {};
    const double cpu = CpuMilliseconds(unixPid);
    const double baselineCpu = CpuMilliseconds(baselineUnixPid);
    const double start = Milliseconds();
    while (Milliseconds() - start < cycleProbeMs) {
        InternalGetWindowText(profitField, now, 128);
        if (wcscmp(now, last) != 0) {
            wcscpy(last, now);
            changes.push_back(Milliseconds());
        }
        Sleep(1);
    }
    Cycle cycle;
    const double ticks = (Milliseconds() - start) / 100.0;
    cycle.cpuPerTickMs = (CpuMilliseconds(unixPid) - cpu) / ticks;
    cycle.baselineCpuPerTickMs = (CpuMilliseconds(baselineUnixPid) - baselineCpu) / ticks;
    stop = true;
    if (writer)
        WaitForSingleObject(writer, INFINITE);
    expert.SetQuoting(true);

    // The first change is where the probe came in, not a tick boundary.
    std::vector<double> intervals;
    for (size_t i = 2; i < changes.size(); ++i)
        intervals.push_back(changes[i] - changes[i - 1]);
    cycle.changes = int(intervals.size());
    if (!intervals.empty()) {
        std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
        cycle.medianIntervalMs = intervals[intervals.size() / 2];
    }
    return cycle;
}

}  // namespace

LongRunFigures RunLongSession(int orders, int seconds, const std::function<void(int ordersDone)>& progress)
{
    LongRunFigures figures;
    figures.orders = orders;
    figures.providerHandlesPerAcquire = ProviderHandlesPerAcquire();

    const std::wstring token = L"long-run-" + std::to_wstring(GetCurrentProcessId());
    TerminalHost terminal;
    BrokerConnection broker;
    ServiceRun service;
    const double panelStart = Milliseconds();
    // Words after the chart handle are ignored by the panel; they let its Linux process be found.
    PanelRun panel(ChartHandleText(terminal.chart()) + L" " + token);
    ExpertRunner expert(panel.processId(), 100);
    // The same work at the start and at the end costs what the machine's load of the moment makes it
    // cost; the baseline's CPU over the same stretches tells the panel's drift from that.
    const BlitBaseline baseline(token + L"-baseline");
    ParkMouse();
    const HWND window = panel.WaitForMainWindow();
    // The panel's command line ends with the token (the space is its last separator); the baseline's
    // goes on after it.
    const int unixPid = UnixProcess(std::string(token.begin(), token.end()) + " ");
    const int baselineUnixPid = baseline.unixPid();
    const HWND client = FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr);
    const HWND buttons[] = {FindWindowExW(client, nullptr, L"BUY_BUTTON", nullptr),
                            FindWindowExW(client, nullptr, L"SELL_BUTTON", nullptr)};
    WaitUntil([&] { return ProfitField(client) != nullptr; }, 3000);
    const HWND profit = ProfitField(client);
    figures.cameUp =
        window && service.listening() && unixPid && baselineUnixPid && buttons[0] && buttons[1] && profit;
    if (!figures.cameUp)
        return figures;
    Sleep(2000);  // code loaded, fonts cached

    const auto order = [&](int i) {
        const size_t before = service.Requests().size();
        const double click = Milliseconds();
        Click(buttons[i % 2], 30, 25);
        if (WaitUntil([&] { return service.Requests().size() >= before + 2; }, 15000))
            figures.clickToFinishMs.push_back(Milliseconds() - click);
        else
            ++figures.lost;
        WaitUntil([&] { return !WaitForMessageBox(panel.processId(), L"Executing", 0); }, 5000);
        // The panel discards a click made before its Finish exchange is over: the next one waits for it.
        WaitUntil([&] { return IsWindowEnabled(window) != FALSE; }, 5000);
        if (progress)
            progress(i + 1);
    };

    const int firstOrders = std::min(orders, warmUpOrders);
    for (int i = 0; i < firstOrders; ++i)
        order(i);
    Sleep(1000);
    figures.startCycle = MeasureCycle(expert, profit, unixPid, baselineUnixPid);
    figures.afterWarmUp = Count(panel.process().process(), panel.processId(), unixPid);
    const size_t repliesAtStart = service.Requests().size();

    // The other orders spread evenly over the seconds, with live quotes in between.
    const double phaseStart = Milliseconds();
    const double spacing = orders > firstOrders ? 1000.0 * seconds / (orders - firstOrders) : 0.0;
    for (int i = firstOrders; i < orders; ++i) {
        const double due = phaseStart + spacing * (i - firstOrders);
        while (Milliseconds() < due)
            Sleep(50);
        order(i);
    }
    while (Milliseconds() - phaseStart < 1000.0 * seconds)
        Sleep(200);

    figures.endCycle = MeasureCycle(expert, profit, unixPid, baselineUnixPid);
    Sleep(500);
    figures.atEnd = Count(panel.process().process(), panel.processId(), unixPid);
    figures.requests = service.Requests();
    figures.repliesBetweenCounts = figures.requests.size() - repliesAtStart;
    figures.ticks = (Milliseconds() - panelStart) / 100.0;
    std::sort(figures.clickToFinishMs.begin(), figures.clickToFinishMs.end());
    return figures;
}

}  // namespace harness

// The stand-in terminal: shows charts and starts the panel on each, as a terminal's expert does.
//
//   terminal.exe [--charts N] [--panel PATH | --no-panel] [--panels K]
//
// --charts shows N charts (1 to 4, default 1) of EURUSD, GBPUSD, USDJPY and AUDUSD in that order, tiled
// when there are several. --panel names the panel program (default: panel.exe beside this program).
// --panels starts it on the first K charts only (default all); --no-panel starts none: the benchmark
// places a window of its own over this terminal's chart from another process.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tools/terminal/broker_connection.h"
#include "tools/terminal/expert.h"
#include "tools/terminal/panel_process.h"
#include "tools/terminal/terminal_window.h"

namespace {

constexpr std::string_view chartSymbols[] = {"EURUSD", "GBPUSD", "USDJPY", "AUDUSD"};
constexpr int maxCharts = static_cast<int>(std::size(chartSymbols));

struct Options {
    std::wstring panel;  // empty: no panel
    int charts = 1;
    int panels = maxCharts;  // on the first charts
};

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

Options ReadOptions()
{
    Options options;
    options.panel = ProgramFolder() + L"panel.exe";
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; words && i < count; ++i) {
        const std::wstring word = words[i];
        if (word == L"--panel" && i + 1 < count)
            options.panel = words[++i];
        else if (word == L"--no-panel")
            options.panel.clear();
        else if (word == L"--charts" && i + 1 < count)
            options.charts = std::clamp(_wtoi(words[++i]), 1, maxCharts);
        else if (word == L"--panels" && i + 1 < count)
            options.panels = std::clamp(_wtoi(words[++i]), 0, maxCharts);
    }
    LocalFree(words);
    return options;
}

std::wstring Wide(std::string_view text) { return std::wstring(text.begin(), text.end()); }

// A chart's panel and the expert that serves it.
struct ChartPanel {
    PanelProcess panel;
    std::unique_ptr<StandInExpert> expert;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const Options options = ReadOptions();
    TerminalLayout layout;
    layout.symbol = Wide(chartSymbols[0]);
    TerminalWindow terminal(layout);
    for (int i = 1; i < options.charts; ++i)
        terminal.AddChart(Wide(chartSymbols[i]));
    if (options.charts > 1)
        terminal.Tile();
    // The terminal is connected to its broker before the panels ask who it is.
    BrokerConnection broker;

    // The chart handle as the whole command line attaches the panel to the chart. Each expert holds its
    // panel's areas and publishes its chart's quotes every 100 ms.
    std::vector<ChartPanel> panels;
    const std::vector<HWND> charts = terminal.charts();
    const int panelCount = options.panel.empty() ? 0 : std::min(options.panels, options.charts);
    for (int i = 0; i < panelCount; ++i) {
        PanelProcess panel = PanelProcess::Launch(options.panel, ChartHandleText(charts[i]));
        if (!panel) {
            const std::wstring text = L"The panel cannot be started: " + options.panel;
            MessageBoxW(terminal.frame(), text.c_str(), L"Stand-in Terminal", MB_OK | MB_ICONERROR);
            continue;
        }
        auto expert = std::make_unique<StandInExpert>(panel.processId(), std::string(chartSymbols[i]));
        panels.push_back({std::move(panel), std::move(expert)});
    }
    SetTimer(nullptr, 0, 100, nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd) {
            for (ChartPanel& chart : panels) {
                chart.expert->Tick();
                chart.expert->Execute();
            }
            broker.Heartbeat();
            continue;
        }
        if (!TranslateMDISysAccel(terminal.mdiClient(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // Closing the terminal takes the charts, and with them the panels; one that stays is asked, then ended.
    for (ChartPanel& chart : panels)
        chart.panel.close(5000);
    return 0;
}

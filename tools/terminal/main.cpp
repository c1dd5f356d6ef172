// The stand-in terminal: shows a chart and starts the panel on it, as a terminal's expert does.
//
//   terminal.exe [--panel PATH | --no-panel]
//
// --panel names the panel program (default: panel.exe beside this program). --no-panel starts none: the
// benchmark places a window of its own over this terminal's chart from another process.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "tools/terminal/broker_connection.h"
#include "tools/terminal/expert.h"
#include "tools/terminal/panel_process.h"
#include "tools/terminal/terminal_window.h"

namespace {

struct Options {
    std::wstring panel;  // empty: no panel
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
    }
    LocalFree(words);
    return options;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const Options options = ReadOptions();
    TerminalWindow terminal(TerminalLayout{});
    // The terminal is connected to its broker before the panel asks who it is.
    BrokerConnection broker;

    // The chart handle as the whole command line attaches the panel to the chart.
    PanelProcess panel;
    if (!options.panel.empty())
        panel = PanelProcess::Launch(options.panel, ChartHandleText(terminal.chart()));
    if (!panel && !options.panel.empty()) {
        const std::wstring text = L"The panel cannot be started: " + options.panel;
        MessageBoxW(terminal.frame(), text.c_str(), L"Stand-in Terminal", MB_OK | MB_ICONERROR);
    }

    // The expert holds the panel's areas and publishes the chart's quotes every 100 ms.
    StandInExpert expert(panel.processId(), "EURUSD");
    SetTimer(nullptr, 0, 100, nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd) {
            expert.Tick();
            expert.Execute();
            broker.Heartbeat();
            continue;
        }
        if (!TranslateMDISysAccel(terminal.mdiClient(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // Closing the terminal takes the chart, and with it the panel; one that stays is asked, then ended.
    panel.close(5000);
    return 0;
}

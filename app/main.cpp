// The panel's entry: the terminal's expert starts it with a chart window's handle as the command line.
#include <windows.h>
#include <objbase.h>

#include "app/panel.h"
#include "service/winsock_session.h"
#include "win/fatal_error.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    // The XML parser needs COM on this, the window thread.
    CoInitialize(nullptr);
    // Before any thread of the order path: Winsock's start is the process's, made here once.
    WinsockStarted();
    if (!MakeMainWindow())
        ReportFatalError(L"Can't construct Main Window");
    if (!CreatePanel(instance, showCommand))
        ReportFatalError(L"Can't Create Main Window");

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // While a modal dialog of the terminal's own has disabled its window, a child of it takes no input:
        // neither does the panel standing in for one.
        if (PanelRefusesInput(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    NotePanelEnd(0);
    CoUninitialize();
    return 0;
}

// Ends through the panel's error reporter with a chosen last error, so tests can read what a trader sees.
//
//   fatal_error_probe.exe <error code> <context> [quit-first]
//
// quit-first posts the quit message before the report, as a closing chart does to the panel.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "ui/fatal_error.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words || count < 3)
        return 2;
    const auto code = static_cast<DWORD>(std::wcstoul(words[1], nullptr, 0));
    if (count > 3 && std::wcscmp(words[3], L"quit-first") == 0)
        PostQuitMessage(0);
    SetLastError(code);
    ReportFatalError(words[2]);
}

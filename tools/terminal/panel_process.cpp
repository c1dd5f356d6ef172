#include "tools/terminal/panel_process.h"

#include <utility>
#include <vector>

PanelProcess::PanelProcess(PanelProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      processId_(std::exchange(other.processId_, 0)),
      threadId_(std::exchange(other.threadId_, 0)),
      startError_(std::exchange(other.startError_, 0))
{
}

PanelProcess& PanelProcess::operator=(PanelProcess&& other) noexcept
{
    if (this != &other) {
        if (process_)
            CloseHandle(process_);
        process_ = std::exchange(other.process_, nullptr);
        processId_ = std::exchange(other.processId_, 0);
        threadId_ = std::exchange(other.threadId_, 0);
        startError_ = std::exchange(other.startError_, 0);
    }
    return *this;
}

PanelProcess::~PanelProcess()
{
    if (process_)
        CloseHandle(process_);
}

PanelProcess PanelProcess::Launch(const std::wstring& program, const std::wstring& commandLine)
{
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    PanelProcess panel;
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        panel.startError_ = GetLastError();
        return panel;
    }
    CloseHandle(info.hThread);
    panel.process_ = info.hProcess;
    panel.processId_ = info.dwProcessId;
    panel.threadId_ = info.dwThreadId;
    return panel;
}

bool PanelProcess::running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool PanelProcess::wait(DWORD timeoutMs) const
{
    return !process_ || WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD PanelProcess::exitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_, &code);
    return code;
}

void PanelProcess::close(DWORD timeoutMs)
{
    if (!running())
        return;
    EnumThreadWindows(
        threadId_,
        [](HWND window, LPARAM) -> BOOL {
            PostMessageW(window, WM_CLOSE, 0, 0);
            return TRUE;
        },
        0);
    if (!wait(timeoutMs))
        TerminateProcess(process_, 1);
    wait(timeoutMs);
}

std::wstring ChartHandleText(HWND chart)
{
    return std::to_wstring(static_cast<long>(reinterpret_cast<LONG_PTR>(chart)));
}

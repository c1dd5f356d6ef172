// Starting the panel as a terminal's expert does, and ending it when the terminal goes.
#pragma once

#include <windows.h>

#include <string>

class PanelProcess {
public:
    PanelProcess() = default;
    PanelProcess(const PanelProcess&) = delete;
    PanelProcess& operator=(const PanelProcess&) = delete;
    PanelProcess(PanelProcess&& other) noexcept;
    PanelProcess& operator=(PanelProcess&& other) noexcept;
    ~PanelProcess();

    // Starts the panel program with exactly this command line (for a chart: the handle's decimal text).
    static PanelProcess Launch(const std::wstring& program, const std::wstring& commandLine);

    explicit operator bool() const { return process_ != nullptr; }
    HANDLE process() const { return process_; }
    DWORD processId() const { return processId_; }
    DWORD threadId() const { return threadId_; }
    // Why the launch failed: the system's error code then, 0 when it did not fail.
    DWORD startError() const { return startError_; }

    bool running() const;
    // Waits up to timeoutMs; true when the process has ended.
    bool wait(DWORD timeoutMs) const;
    DWORD exitCode() const;
    // Asks the panel's top-level windows to close; what is left after timeoutMs is terminated.
    void close(DWORD timeoutMs);

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    DWORD threadId_ = 0;
    DWORD startError_ = 0;
};

// The chart handle as the panel expects it on its command line.
std::wstring ChartHandleText(HWND chart);

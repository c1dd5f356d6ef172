// The stand-in terminal's windows: a top-level frame with an MDI client and one chart document, whose
// chart window sits at an offset inside its document window as a terminal's chart does.
#pragma once

#include <windows.h>

#include <string>

struct TerminalLayout {
    POINT frameOrigin = {200, 40};
    SIZE frameSize = {760, 540};
    POINT documentOrigin = {12, 10};  // the chart document inside the MDI client
    SIZE documentSize = {600, 420};
    POINT chartOffset = {0, 22};  // the chart inside its document, below a strip with the symbol name
    std::wstring symbol = L"EURUSD";
};

class TerminalWindow {
public:
    // Creates the windows on the calling thread, which must then dispatch their messages.
    explicit TerminalWindow(const TerminalLayout& layout);
    TerminalWindow(const TerminalWindow&) = delete;
    TerminalWindow& operator=(const TerminalWindow&) = delete;
    ~TerminalWindow();

    HWND frame() const { return frame_; }
    HWND mdiClient() const { return mdiClient_; }
    HWND document() const { return document_; }
    HWND chart() const { return chart_; }

private:
    HWND frame_ = nullptr;
    HWND mdiClient_ = nullptr;
    HWND document_ = nullptr;
    HWND chart_ = nullptr;
};

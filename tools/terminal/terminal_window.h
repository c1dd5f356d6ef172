// The stand-in terminal's windows: a top-level frame with an MDI client and chart documents, each with a
// chart window at an offset inside its document window as a terminal's chart has it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct TerminalLayout {
    POINT frameOrigin = {200, 40};
    SIZE frameSize = {760, 540};
    POINT documentOrigin = {12, 10};  // the first chart document inside the MDI client
    SIZE documentSize = {600, 420};
    POINT chartOffset = {0, 22};  // a chart inside its document, below a strip with the symbol name
    std::wstring symbol = L"EURUSD";  // the first chart's
};

class TerminalWindow {
public:
    // Creates the windows on the calling thread, which must then dispatch their messages.
    explicit TerminalWindow(const TerminalLayout& layout);
    TerminalWindow(const TerminalWindow&) = delete;
    TerminalWindow& operator=(const TerminalWindow&) = delete;
    ~TerminalWindow();

    // Another chart document, titled "<symbol>,H1", with its chart at the layout's offset; its chart window.
    HWND AddChart(const std::wstring& symbol);
    // Tiles the chart documents over the MDI client, so that every chart shows whole.
    void Tile();

    HWND frame() const { return frame_; }
    HWND mdiClient() const { return mdiClient_; }
    // The first chart's document and chart window.
    HWND document() const { return documents_.front(); }
    HWND chart() const { return charts_.front(); }
    // Every chart window, the first one first.
    std::vector<HWND> charts() const { return charts_; }

private:
    TerminalLayout layout_;
    HWND frame_ = nullptr;
    HWND mdiClient_ = nullptr;
    std::vector<HWND> documents_;
    std::vector<HWND> charts_;
};

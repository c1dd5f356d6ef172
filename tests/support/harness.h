// What the end-to-end tests need to play the terminal and the trader around the real panel process:
// a UI thread of the test's own for terminal windows, bounded waits, window and message box lookup,
// real X mouse input and screen pixels.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/terminal/panel_process.h"
#include "tools/terminal/terminal_window.h"
#include "win/system_thread.h"

namespace harness {

// While it lives, the panels a test starts under wine stand in for the chart's child as top-level windows,
// as traders see them; otherwise every panel is the real child window, as on Windows.
struct OverlayPanels {
    OverlayPanels();
    OverlayPanels(const OverlayPanels&) = delete;
    OverlayPanels& operator=(const OverlayPanels&) = delete;
    ~OverlayPanels();
};

// A program of the build, from the folder that holds the test program; panel.exe is PANEL_PROGRAM where
// that names another build of the panel.
std::wstring ProgramPath(const std::wstring& name);

// Polls the condition every 20 ms until it holds or timeoutMs passes; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// A thread with a message loop on which windows can be made and used, as a terminal's GUI thread.
class UiThread {
public:
    UiThread();
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;
    ~UiThread();

    // Runs the function on the UI thread and waits for it (at most 10 s); false when it did not run.
    bool Run(const std::function<void()>& function);

private:
    win::UniqueHandleObject thread_;
    HWND invoker_ = nullptr;
};

// The stand-in terminal's windows, running on a UI thread of the test process.
class TerminalHost {
public:
    explicit TerminalHost(const TerminalLayout& layout = {});
    ~TerminalHost();

    // Another chart of the symbol (see TerminalWindow::AddChart); its chart window, or null.
    HWND AddChart(const std::wstring& symbol);
    // Tiles the chart documents, so that every chart shows whole.
    void Tile();

    HWND frame() const { return frame_; }
    HWND document() const { return document_; }
    HWND chart() const { return chart_; }
    UiThread& ui() { return ui_; }

private:
    UiThread ui_;
    std::unique_ptr<TerminalWindow> terminal_;
    HWND frame_ = nullptr;
    HWND document_ = nullptr;
    HWND chart_ = nullptr;
};

// A plain window made on a UI thread, as a chart of an unusual terminal. With destroyOnStyleChange it
// destroys itself when its style is changed, as a chart closing while the panel attaches to it.
struct TestWindowOptions {
    HWND parent = nullptr;
    RECT rect = {300, 200, 700, 500};
    bool destroyOnStyleChange = false;
};
HWND CreateTestWindow(UiThread& ui, const TestWindowOptions& options);

// The panel started as the expert does, ended (closed, then terminated) when the test is over.
class PanelRun {
public:
    // The program is the panel of the build's settings, or a variant built beside it.
    explicit PanelRun(const std::wstring& commandLine, const std::wstring& program = L"panel.exe");
    PanelRun(const PanelRun&) = delete;
    PanelRun& operator=(const PanelRun&) = delete;
    ~PanelRun();

    PanelProcess& process() { return process_; }
    DWORD processId() const { return process_.processId(); }
    // The panel's main window (class "PELLANTIX") once it is shown with all its children, or null after
    // timeoutMs.
    HWND WaitForMainWindow(DWORD timeoutMs = 10000) const;
    // Waits for the end of the process; its exit code, or STILL_ACTIVE after timeoutMs.
    DWORD WaitForExit(DWORD timeoutMs = 10000) const;

private:
    PanelProcess process_;
};

// Brings a panel that got no chart handle up on its own, past its "Not a window handle" box; its main
// window, or null.
HWND StartStandalone(PanelRun& panel);

// A message box of the given process with the given caption, or null after timeoutMs.
HWND WaitForMessageBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs = 10000);
std::wstring MessageBoxText(HWND box);
// Presses the box's OK button.
void DismissMessageBox(HWND box);

// The system's message text for an error code, as a message box of the panel would show it.
std::wstring SystemErrorText(DWORD code);

// Runs a Unix shell script and waits up to 10 s for it to succeed.
bool RunUnixShell(const std::wstring& script);
// Runs xdotool (X input, as a trader's mouse gives it) with the given arguments and waits for it.
bool Xdotool(const std::wstring& arguments);
// A point of a window's client area in screen coordinates.
POINT OnScreen(HWND window, int x, int y);
// The xdotool words that move the pointer to a screen point.
std::wstring MoveTo(POINT point);
// Moves the pointer onto a point of a window's client area, once X shows the window, and waits until the
// system has it there: wine drops a move to where it last saw the pointer (a test before may have left it
// on the same spot, and a move over the bare root window never reaches wine), so the pointer comes from
// one pixel beside. False when it did not arrive.
bool RestPointerOn(HWND window, int x, int y);
// A trader's drag from one screen point to another, with the button held between; false when xdotool failed.
bool Drag(POINT from, POINT to);
// Waits until the X server shows the window's top-level window, so real input reaches it.
bool WaitUntilOnScreen(HWND window);
// The X window id of a window's top-level window, as xdotool takes it; empty when X has none.
std::wstring XWindowId(HWND window);

// A Linux program in the background until the object goes, stopped by its pid.
class UnixProgram {
public:
    // The Unix command line; its first word is the program.
    explicit UnixProgram(const std::wstring& commandLine);
    UnixProgram(const UnixProgram&) = delete;
    UnixProgram& operator=(const UnixProgram&) = delete;
    ~UnixProgram();

protected:
    std::wstring name_;
    std::wstring pidFile_;
};

// A program of the X display that wine does not run.
class XProgram : public UnixProgram {
public:
    // Its first word must show a window of that class.
    using UnixProgram::UnixProgram;
    // Waits until its window shows and has the window manager's focus.
    bool WaitActive() const;
};

// Another native program beside the terminal, as a trader's browser: idle connections of its own on the
// loopback and, with a pace, a new one opened, used and closed every churnMs (tools/neighbour). It ends by
// itself after a few minutes at most.
class Neighbour {
public:
    explicit Neighbour(int idle, int churnMs = 0);
    // Its idle connections stand.
    bool ready() const { return ready_; }

private:
    std::unique_ptr<UnixProgram> program_;
    bool ready_ = false;
};

// The folder that holds the test programs, as a Unix path.
std::wstring ProgramFolderUnix();
// A Unix path as wine's Z: drive shows it.
std::wstring WindowsPath(const std::wstring& unixPath);

// Moves the pointer to the screen's corner, off every window of a test.
void ParkMouse();

// The colour of a screen pixel as shown.
COLORREF ScreenPixel(int x, int y);
// The price tiles' colours (and their arrows'): SELL's red and BUY's green.
bool Reddish(COLORREF colour);
bool Greenish(COLORREF colour);

// A rectangle of the screen as shown, row by row.
struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[y * width + x]; }
    bool operator==(const ScreenImage&) const = default;
};
ScreenImage CaptureScreen(const RECT& rect);
// How many pixels are darker than the given level in each of red, green and blue.
int CountDark(const ScreenImage& image, int level = 96);

// A path in the temporary folder that no earlier run used: the name, then a counter of this run (wine gives
// the same process ids again soon).
std::wstring FreshTempPath(const std::wstring& name);
// The lines of today's journal (UTC) in the folder, without their line feeds.
std::vector<std::string> JournalLinesOfToday(const std::wstring& folder);

// A rectangle of a window's client area in screen coordinates.
RECT ClientRectOnScreen(HWND window, const RECT& clientRect);

// A window's rectangle in its parent's client coordinates (screen coordinates for a top-level window).
RECT RectInParent(HWND window);

}  // namespace harness

#include "tests/support/harness.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <future>
#include <stdexcept>
#include <vector>

namespace harness {

namespace {

// Every process a test starts (panel, stand-in service) is ended with the test process, even when a
// crash or the runner's time limit ends it: a leftover service would hold the endpoints of later tests.
struct ChildrenEndWithTheTests {
    ChildrenEndWithTheTests()
    {
        job = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job && SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
            AssignProcessToJobObject(job, GetCurrentProcess());
    }
    HANDLE job = nullptr;  // held open until the process ends
} childrenEndWithTheTests;

// The tests check the real child window, as on Windows: every panel they start is one, unless a test asks
// for the top-level stand-in that wine users see (OverlayPanels).
const bool panelsAreRealChildren = SetEnvironmentVariableW(L"PANEL_AS_CHILD", L"1");

}  // namespace

OverlayPanels::OverlayPanels()
{
    SetEnvironmentVariableW(L"PANEL_AS_CHILD", nullptr);
}

OverlayPanels::~OverlayPanels()
{
    SetEnvironmentVariableW(L"PANEL_AS_CHILD", L"1");
}

std::wstring ProgramPath(const std::wstring& name)
{
    // Another build of the panel under test (the signed release's) is named whole in PANEL_PROGRAM.
    wchar_t other[MAX_PATH];
    if (const DWORD chars = GetEnvironmentVariableW(L"PANEL_PROGRAM", other, MAX_PATH);
        name == L"panel.exe" && chars > 0 && chars < MAX_PATH)
        return other;
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + name;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
}

// ---------------------------------------------------------------------------------------------- UI thread

namespace {

constexpr UINT invokeMessage = WM_APP + 1;

LRESULT CALLBACK InvokerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == invokeMessage) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

UiThread::UiThread()
{
    std::promise<HWND> ready;
    std::future<HWND> invoker = ready.get_future();
    thread_ = win::StartThread([&ready] {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = InvokerProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TestUiInvoker";
        RegisterClassW(&windowClass);
        const HWND window = CreateWindowExW(0, L"TestUiInvoker", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            windowClass.hInstance, nullptr);
        ready.set_value(window);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (IsWindow(window))
            DestroyWindow(window);
    });
    if (!thread_)
        throw std::runtime_error("the test's UI thread cannot be started");
    invoker_ = invoker.get();
}

UiThread::~UiThread()
{
    // GetMessage ends its loop on WM_QUIT whichever window it was posted to.
    if (invoker_)
        PostMessageW(invoker_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, INFINITE);
}

bool UiThread::Run(const std::function<void()>& function)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(invoker_, invokeMessage, 0, reinterpret_cast<LPARAM>(&function), SMTO_NORMAL,
                               10000, &result) &&
           result == 1;
}

// ------------------------------------------------------------------------------------------ terminal host

TerminalHost::TerminalHost(const TerminalLayout& layout)
{
    ui_.Run([&] { terminal_ = std::make_unique<TerminalWindow>(layout); });
    if (!terminal_)
        throw std::runtime_error("the stand-in terminal did not come up");
    frame_ = terminal_->frame();
    document_ = terminal_->document();
    chart_ = terminal_->chart();
}

TerminalHost::~TerminalHost()
{
    ui_.Run([&] { terminal_.reset(); });
}

HWND TerminalHost::AddChart(const std::wstring& symbol)
{
    HWND chart = nullptr;
    // Thrown on the UI thread, the failure would end the test program inside the message loop.
    ui_.Run([&] {
        try {
            chart = terminal_->AddChart(symbol);
        } catch (const std::runtime_error&) {
        }
    });
    return chart;
}

void TerminalHost::Tile()
{
    ui_.Run([&] { terminal_->Tile(); });
}

// ------------------------------------------------------------------------------------------- test window

namespace {

constexpr wchar_t destroyOnStyleChangeProp[] = L"DestroyOnStyleChange";

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_STYLECHANGED && GetPropW(window, destroyOnStyleChangeProp)) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_NCDESTROY)
        RemovePropW(window, destroyOnStyleChangeProp);
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND CreateTestWindow(UiThread& ui, const TestWindowOptions& options)
{
    HWND window = nullptr;
    ui.Run([&] {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = L"TestChartWindow";
        RegisterClassW(&windowClass);
        const DWORD style = options.parent ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW | WS_VISIBLE;
        const RECT& r = options.rect;
        window = CreateWindowExW(0, L"TestChartWindow", L"Test chart", style, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, options.parent, nullptr, windowClass.hInstance, nullptr);
        if (window && options.destroyOnStyleChange)
            SetPropW(window, destroyOnStyleChangeProp, reinterpret_cast<HANDLE>(1));
    });
    return window;
}

// ----------------------------------------------------------------------------------------------- panel

PanelRun::PanelRun(const std::wstring& commandLine, const std::wstring& program)
    : process_(PanelProcess::Launch(ProgramPath(program), commandLine))
{
    if (!process_) {
        // The system's own words for the failure, as the test's failure says it.
        char text[256] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, process_.startError(), 0,
                       text, sizeof text, nullptr);
        throw std::runtime_error(std::string(program.begin(), program.end()) + " cannot be started: error " +
                                 std::to_string(process_.startError()) + " " + text);
    }
}

PanelRun::~PanelRun()
{
    if (process_.running())
        TerminateProcess(process_.process(), 1);
    process_.wait(5000);
}

namespace {

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* caption;  // null: any
    HWND found;
};

bool Matches(HWND window, const WindowSearch& search)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId)
        return false;
    wchar_t name[256];
    if (!GetClassNameW(window, name, 256) || lstrcmpW(name, search.className) != 0)
        return false;
    if (!search.caption)
        return true;
    GetWindowTextW(window, name, 256);
    return lstrcmpW(name, search.caption) == 0;
}

BOOL CALLBACK SearchChildren(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    if (Matches(window, search)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK SearchTopLevel(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    if (!SearchChildren(window, parameter))
        return FALSE;
    EnumChildWindows(window, SearchChildren, parameter);
    return search.found ? FALSE : TRUE;
}

// A window of the process with the class (and caption), at any depth of any top-level window.
HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* caption)
{
    WindowSearch search = {processId, className, caption, nullptr};
    EnumWindows(SearchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND PanelRun::WaitForMainWindow(DWORD timeoutMs) const
{
    HWND window = nullptr;
    // Complete means shown, with the client area holding the last of its 14 controls.
    const auto complete = [&] {
        window = FindProcessWindow(processId(), L"PELLANTIX", nullptr);
        if (!window || !IsWindowVisible(window))
            return false;
        const HWND client = FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr);
        int children = 0;
        for (HWND child = client ? GetWindow(client, GW_CHILD) : nullptr; child; child = GetWindow(child, GW_HWNDNEXT))
            ++children;
        return children == 14;
    };
    if (WaitUntil(complete, timeoutMs))
        return window;
    // What the panel had come to, for the failure's reader: gone, no window, hidden, or still building it.
    const bool ended = process_.wait(0);
    const HWND client = window ? FindWindowExW(window, nullptr, L"CLIENT_AREA", nullptr) : nullptr;
    int children = 0;
    for (HWND child = client ? GetWindow(client, GW_CHILD) : nullptr; child; child = GetWindow(child, GW_HWNDNEXT))
        ++children;
    std::fprintf(stderr, "harness: panel %lu has no whole window after %lu ms: %s, window %s, %d controls\n",
                 processId(), timeoutMs,
                 ended ? ("ended with " + std::to_string(process_.exitCode())).c_str() : "running",
                 !window ? "none" : IsWindowVisible(window) ? "shown" : "hidden", children);
    return nullptr;
}

DWORD PanelRun::WaitForExit(DWORD timeoutMs) const
{
    process_.wait(timeoutMs);
    return process_.exitCode();
}

HWND StartStandalone(PanelRun& panel)
{
    const HWND box = WaitForMessageBox(panel.processId(), L"Not a window handle");
    if (!box)
        return nullptr;
    DismissMessageBox(box);
    return panel.WaitForMainWindow();
}

HWND WaitForMessageBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs)
{
    HWND box = nullptr;
    // A dialog is shown once its controls exist and it has been initialised.
    WaitUntil(
        [&] {
            box = FindProcessWindow(processId, L"#32770", caption.c_str());
            return box && IsWindowVisible(box);
        },
        timeoutMs);
    return box && IsWindowVisible(box) ? box : nullptr;
}

std::wstring MessageBoxText(HWND box)
{
    // The text of a message box is the static control with identifier 0xFFFF.
    wchar_t text[2048] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 2048);
    return text;
}

void DismissMessageBox(HWND box)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

std::wstring SystemErrorText(DWORD code)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
                   0, nullptr);
    std::wstring result = text ? text : L"";
    LocalFree(text);
    return result;
}

bool RunUnixShell(const std::wstring& script)
{
    // Wine starts a Unix program given by its Unix path, but its handle cannot be waited on: the shell
    // leaves a marker file when the script succeeds, seen from here through wine's Z: drive.
    static int calls = 0;
    const std::wstring marker =
        L"/tmp/e2e-shell-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++calls);
    const std::wstring windowsMarker = WindowsPath(marker);
    std::wstring line = L"/bin/sh -c \"(" + script + L") && touch " + marker + L"\"";
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    const bool done =
        WaitUntil([&] { return GetFileAttributesW(windowsMarker.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
    DeleteFileW(windowsMarker.c_str());
    return done;
}

bool Xdotool(const std::wstring& arguments) { return RunUnixShell(L"/usr/bin/xdotool " + arguments); }

std::wstring XWindowId(HWND window)
{
    // Wine keeps the X window's id as a property of the top-level window.
    const HANDLE xWindow = GetPropW(GetAncestor(window, GA_ROOT), L"__wine_x11_whole_window");
    return xWindow ? std::to_wstring(reinterpret_cast<ULONG_PTR>(xWindow)) : std::wstring();
}

bool WaitUntilOnScreen(HWND window)
{
    // Win32 calls a freshly shown window visible before its X window is mapped; a click sent in between
    // lands on whatever X shows there.
    const std::wstring id = XWindowId(window);
    return !id.empty() && RunUnixShell(L"for i in $(seq 150); do /usr/bin/xwininfo -id " + id +
                                       L" | grep -q IsViewable && exit 0; sleep 0.05; done; exit 1");
}

namespace {

// A command line's program without its folder.
std::wstring ProgramName(const std::wstring& commandLine)
{
    const std::wstring program = commandLine.substr(0, commandLine.find(L' '));
    return program.substr(program.find_last_of(L'/') + 1);
}

}  // namespace

UnixProgram::UnixProgram(const std::wstring& commandLine)
    : name_(ProgramName(commandLine)), pidFile_(L"/tmp/e2e-unix-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name_)
{
    RunUnixShell(commandLine + L" >/dev/null 2>&1 & echo $! >" + pidFile_);
}

UnixProgram::~UnixProgram()
{
    RunUnixShell(L"kill $(cat " + pidFile_ + L"); rm -f " + pidFile_);
}

Neighbour::Neighbour(int idle, int churnMs)
{
    static int runs = 0;
    const std::wstring ready =
        L"/tmp/e2e-neighbour-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++runs);
    const std::wstring windowsReady = WindowsPath(ready);
    program_ = std::make_unique<UnixProgram>(ProgramFolderUnix() + L"neighbour --idle " + std::to_wstring(idle) +
                                             L" --churn-ms " + std::to_wstring(churnMs) +
                                             L" --seconds 300 --ready " + ready);
    ready_ = WaitUntil([&] { return GetFileAttributesW(windowsReady.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
    DeleteFileW(windowsReady.c_str());
}

std::wstring WindowsPath(const std::wstring& unixPath)
{
    std::wstring path = L"Z:" + unixPath;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring ProgramFolderUnix()
{
    std::wstring path = ProgramPath(L"");
    if (path.size() >= 2 && path[1] == L':')
        path = path.substr(2);
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

bool XProgram::WaitActive() const
{
    return RunUnixShell(L"id=$(/usr/bin/xdotool search --sync --onlyvisible --class " + name_ +
                        L" | head -n 1); for i in $(seq 100); do "
                        L"[ $(/usr/bin/xdotool getactivewindow) = $id ] && exit 0; sleep 0.05; done; exit 1");
}

void ParkMouse() { Xdotool(L"mousemove 1270 1010"); }

POINT OnScreen(HWND window, int x, int y)
{
    POINT point = {x, y};
    ClientToScreen(window, &point);
    return point;
}

std::wstring MoveTo(POINT point)
{
    return L"mousemove " + std::to_wstring(point.x) + L" " + std::to_wstring(point.y);
}

bool RestPointerOn(HWND window, int x, int y)
{
    const auto arrived = [](POINT point) {
        return WaitUntil(
            [&] {
                POINT at;
                return GetCursorPos(&at) && at.x == point.x && at.y == point.y;
            },
            3000);
    };
    const POINT beside = OnScreen(window, x + 1, y), point = OnScreen(window, x, y);
    return WaitUntilOnScreen(window) && Xdotool(MoveTo(beside)) && arrived(beside) && Xdotool(MoveTo(point)) &&
           arrived(point);
}

bool Drag(POINT from, POINT to)
{
    // The first short step starts the move loop; the pauses let the panel follow each step.
    return Xdotool(MoveTo(from) + L" sleep 0.2 mousedown 1 sleep 0.2 " + MoveTo({from.x + 10, from.y + 8}) +
                   L" sleep 0.1 " + MoveTo(to) + L" sleep 0.2 mouseup 1");
}

bool Reddish(COLORREF c) { return GetRValue(c) > 120 && GetGValue(c) < 90 && GetBValue(c) < 90; }
bool Greenish(COLORREF c) { return GetGValue(c) > 90 && GetRValue(c) < 90 && GetBValue(c) < 110; }

COLORREF ScreenPixel(int x, int y)
{
    const HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

ScreenImage CaptureScreen(const RECT& rect)
{
    ScreenImage image;
    image.width = rect.right - rect.left;
    image.height = rect.bottom - rect.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, image.width, image.height);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, image.width, image.height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), image.width, -image.height, 1, 32, BI_RGB};
    std::vector<RGBQUAD> rows(image.width * image.height);
    GetDIBits(memory, bitmap, 0, image.height, rows.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    for (const RGBQUAD& p : rows)
        image.pixels.push_back(RGB(p.rgbRed, p.rgbGreen, p.rgbBlue));
    return image;
}

int CountDark(const ScreenImage& image, int level)
{
    int count = 0;
    for (COLORREF c : image.pixels)
        if (GetRValue(c) < level && GetGValue(c) < level && GetBValue(c) < level)
            ++count;
    return count;
}

RECT ClientRectOnScreen(HWND window, const RECT& clientRect)
{
    RECT rect = clientRect;
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT RectInParent(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    const HWND parent = GetAncestor(window, GA_PARENT);
    if (parent && parent != GetDesktopWindow())
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring FreshTempPath(const std::wstring& name)
{
    static std::atomic<int> made = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return std::wstring(temp) + name + std::to_wstring(now.QuadPart) + L"-" + std::to_wstring(++made);
}

std::vector<std::string> JournalLinesOfToday(const std::wstring& folder)
{
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    wchar_t name[32];
    swprintf(name, 32, L"\\%04u-%02u-%02u.log", utc.wYear, utc.wMonth, utc.wDay);
    const std::wstring path = folder + name;
    std::ifstream file(std::string(path.begin(), path.end()), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace harness

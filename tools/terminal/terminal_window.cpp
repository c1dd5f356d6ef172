#include "tools/terminal/terminal_window.h"

#include <stdexcept>

namespace {

constexpr wchar_t frameClass[] = L"StandInTerminalFrame";
constexpr wchar_t documentClass[] = L"StandInChartDocument";
constexpr wchar_t chartClass[] = L"StandInChart";

// Per-document data: where its chart sits, kept in the document window.
struct DocumentData {
    POINT chartOffset;
    std::wstring symbol;
};

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto client = reinterpret_cast<HWND>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefFrameProcW(window, client, message, wParam, lParam);
}

void PlaceChart(HWND document)
{
    const auto* data = reinterpret_cast<const DocumentData*>(GetWindowLongPtrW(document, GWLP_USERDATA));
    const HWND chart = GetWindow(document, GW_CHILD);
    if (!data || !chart)
        return;
    RECT client;
    GetClientRect(document, &client);
    MoveWindow(chart, data->chartOffset.x, data->chartOffset.y, client.right - data->chartOffset.x,
               client.bottom - data->chartOffset.y, TRUE);
}

LRESULT CALLBACK DocumentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        PlaceChart(window);
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(window, &paint);
        const auto* data = reinterpret_cast<const DocumentData*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (data) {
            RECT strip = {4, 2, 400, data->chartOffset.y};
            SetBkMode(dc, TRANSPARENT);
            DrawTextW(dc, data->symbol.c_str(), -1, &strip, DT_SINGLELINE | DT_VCENTER);
        }
        EndPaint(window, &paint);
        return 0;
    }
    case WM_NCDESTROY:
        delete reinterpret_cast<DocumentData*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    }
    return DefMDIChildProcW(window, message, wParam, lParam);
}

// A chart: a grid with a price line, enough to look like one.
LRESULT CALLBACK ChartProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return DefWindowProcW(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const HPEN grid = CreatePen(PS_DOT, 1, RGB(200, 200, 200));
    const HGDIOBJ previous = SelectObject(dc, grid);
    for (int gx = 40; gx < client.right; gx += 60) {
        MoveToEx(dc, gx, 0, nullptr);
        LineTo(dc, gx, client.bottom);
    }
    for (int gy = 30; gy < client.bottom; gy += 50) {
        MoveToEx(dc, 0, gy, nullptr);
        LineTo(dc, client.right, gy);
    }
    SelectObject(dc, previous);
    DeleteObject(grid);
    EndPaint(window, &paint);
    return 0;
}

void RegisterClasses(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {sizeof windowClass};
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);

    windowClass.lpfnWndProc = FrameProc;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = frameClass;
    RegisterClassExW(&windowClass);  // a second terminal in one process finds the classes registered

    windowClass.lpfnWndProc = DocumentProc;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = documentClass;
    RegisterClassExW(&windowClass);

    windowClass.lpfnWndProc = ChartProc;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = chartClass;
    RegisterClassExW(&windowClass);
}

}  // namespace

TerminalWindow::TerminalWindow(const TerminalLayout& layout) : layout_(layout)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClasses(instance);

    frame_ = CreateWindowExW(0, frameClass, L"Stand-in Terminal", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             layout.frameOrigin.x, layout.frameOrigin.y, layout.frameSize.cx,
                             layout.frameSize.cy, nullptr, nullptr, instance, nullptr);
    if (!frame_)
        throw std::runtime_error("the terminal frame cannot be created");

    CLIENTCREATESTRUCT clientCreate = {nullptr, 1000};
    RECT frameClient;
    GetClientRect(frame_, &frameClient);
    mdiClient_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL, 0, 0,
                                 frameClient.right, frameClient.bottom, frame_, nullptr, instance, &clientCreate);
    if (!mdiClient_)
        throw std::runtime_error("the terminal's MDI client cannot be created");
    SetWindowLongPtrW(frame_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(mdiClient_));

    AddChart(layout.symbol);

    ShowWindow(frame_, SW_SHOW);
    UpdateWindow(frame_);
}

HWND TerminalWindow::AddChart(const std::wstring& symbol)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // Each further document a caption lower and to the right, as a terminal cascades new charts.
    const int step = 24 * static_cast<int>(documents_.size());
    const std::wstring title = symbol + L",H1";
    const HWND document = CreateMDIWindowW(documentClass, title.c_str(), WS_CLIPCHILDREN,
                                           layout_.documentOrigin.x + step, layout_.documentOrigin.y + step,
                                           layout_.documentSize.cx, layout_.documentSize.cy, mdiClient_, instance, 0);
    if (!document)
        throw std::runtime_error("the chart document cannot be created");
    SetWindowLongPtrW(document, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(new DocumentData{layout_.chartOffset, symbol}));

    const HWND chart = CreateWindowExW(0, chartClass, nullptr, WS_CHILD | WS_VISIBLE, layout_.chartOffset.x,
                                       layout_.chartOffset.y, 10, 10, document, nullptr, instance, nullptr);
    if (!chart)
        throw std::runtime_error("the chart window cannot be created");
    PlaceChart(document);
    documents_.push_back(document);
    charts_.push_back(chart);
    return chart;
}

void TerminalWindow::Tile()
{
    // Tiling follows the z-order: the charts in the order they came, the first one active.
    for (HWND document : documents_)
        SetWindowPos(document, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(mdiClient_, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(documents_.front()), 0);
    SendMessageW(mdiClient_, WM_MDITILE, MDITILE_VERTICAL, 0);
}

TerminalWindow::~TerminalWindow()
{
    if (IsWindow(frame_))
        DestroyWindow(frame_);
}

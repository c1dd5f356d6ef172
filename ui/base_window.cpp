#include "ui/base_window.h"

#include "res/resource.h"
#include "win/fatal_error.h"

bool CBaseWindow::Initialize(HINSTANCE instance, int showCommand)
{
    hInstance = instance;
    nCmdShow = showCommand;
    RegisterWindowClass();
    return InitInstance();
}

void CBaseWindow::RegisterWindowClass()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = hInstance;
    windowClass.hIcon = LoadIconW(hInstance, MAKEINTRESOURCEW(IDI_PANEL));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = backgroundBrush;
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDM_PANEL);
    windowClass.lpszClassName = className;
    windowClass.hIconSm = LoadIconW(hInstance, MAKEINTRESOURCEW(IDI_PANEL_SMALL));
    // A class registered before under the same name (every label after the first) stays in force.
    RegisterClassExW(&windowClass);
}

void CBaseWindow::PlaceControl(const CBaseWindow& parent, UINT classId, const wchar_t* context, int left, int top,
                               int controlWidth, int controlHeight)
{
    hInstance = parent.hInstance;
    if (!LoadStringW(hInstance, classId, className, static_cast<int>(std::size(className))))
        ReportFatalError(context);
    x = left;
    y = top;
    width = controlWidth;
    height = controlHeight;
    hWndParent = parent.hWnd;
}

bool CBaseWindow::InitInstance()
{
    hWnd = CreateWindowExW(dwExStyle, className, nullptr, dwStyle, x, y, width, height, hWndParent, hMenu,
                           hInstance, nullptr);
    if (!hWnd)
        ReportFatalError(L"CBaseWindow::InitInstance");
    // Across processes SetParent leaves a stale last error behind; only the returned handle tells. A
    // pop-up's hWndParent is its owner, which SetParent would turn into its parent.
    if (!(dwStyle & WS_POPUP) && !SetParent(hWnd, hWndParent))
        ReportFatalError(L"CBaseWindow::InitInstance");
    ShowWindow(hWnd, nCmdShow);
    if (!UpdateWindow(hWnd))
        ReportFatalError(L"CBaseWindow::InitInstance");
    return true;
}

bool CBaseWindow::LoadBackground(WORD bitmapId)
{
    win::UniqueBitmap bitmap(LoadBitmapW(hInstance, MAKEINTRESOURCEW(bitmapId)));
    if (!bitmap)
        ReportFatalError(L"CBaseWindow::LoadBackground");
    backgroundBrush = CreatePatternBrush(bitmap);
    if (!backgroundBrush)
        ReportFatalError(L"CBaseWindow::LoadBackground");
    BITMAP header = {};
    if (!GetObjectW(bitmap, sizeof header, &header))
        ReportFatalError(L"CBaseWindow::LoadBackground");
    width = header.bmWidth;
    height = header.bmHeight;
    // The brush keeps its own copy of the pixels.
    if (!bitmap.close())
        ReportFatalError(L"CBaseWindow::LoadBackground");
    return true;
}

bool CBaseWindow::OpenMemoryBitmap()
{
    memDC.reset(CreateCompatibleDC(targetDC));
    if (!memDC)
        return false;
    memBitmap.reset(CreateCompatibleBitmap(targetDC, width, height));
    if (!memBitmap)
        return false;
    // The DC's own one-pixel bitmap is not kept: deleting the DC first frees memBitmap for deletion.
    const HGDIOBJ previous = SelectObject(memDC, memBitmap);
    return previous != nullptr && previous != HGDI_ERROR;
}

void CBaseWindow::GetMemDC()
{
    targetDC = GetDC(hWnd);
    if (!targetDC || !OpenMemoryBitmap())
        ReportFatalError(L"CBaseWindow::GetMemDC");
}

void CBaseWindow::ReleaseMemDC()
{
    BitBlt(targetDC, 0, 0, width, height, memDC, 0, 0, SRCCOPY);
    memDC.close();
    memBitmap.close();
    ReleaseDC(hWnd, targetDC);
    targetDC = nullptr;
}

void CBaseWindow::StartPaint()
{
    targetDC = BeginPaint(hWnd, &paintStruct);
    if (!targetDC || !OpenMemoryBitmap())
        ReportFatalError(L"CBaseWindow::StartPaint");
}

BOOL CBaseWindow::StopPaint()
{
    if (!BitBlt(targetDC, 0, 0, width, height, memDC, 0, 0, SRCCOPY))
        ReportFatalError(L"CBaseWindow::StopPaint");
    if (!memDC.close() || !memBitmap.close())
        ReportFatalError(L"CBaseWindow::StopPaint");
    targetDC = nullptr;
    return EndPaint(hWnd, &paintStruct);
}

void CBaseWindow::DrawBackGroundBrush()
{
    win::SelectGuard brush(memDC, backgroundBrush);
    if (!brush.ok() || !PatBlt(memDC, 0, 0, width, height, PATCOPY) || !brush.restore())
        ReportFatalError(L"CBaseWindow::DrawBackGroundBrush");
}

namespace {

bool quitting = false;

}  // namespace

void QuitPanel()
{
    quitting = true;
    PostQuitMessage(0);
}

bool PanelQuitting()
{
    return quitting;
}

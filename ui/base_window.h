// Base of every window of the panel: the creation data as plain members, class registration, creation,
// bitmap backgrounds and drawing through a window-sized memory bitmap.
#pragma once

#include <windows.h>

#include <iterator>

#include "win/win_handles.h"

class CBaseWindow {
public:
    CBaseWindow() = default;
    CBaseWindow(const CBaseWindow&) = delete;
    CBaseWindow& operator=(const CBaseWindow&) = delete;

    // Stores both values, registers the class and creates the window through InitInstance.
    bool Initialize(HINSTANCE instance, int showCommand);
    void RegisterWindowClass();
    // Creates, re-parents, shows and updates the window.
    virtual bool InitInstance();

    // The opening every control's creation shares: the parent's instance, the class named by the string
    // table's classId (a fatal failure of context when it is missing), the place and size inside parent.
    void PlaceControl(const CBaseWindow& parent, UINT classId, const wchar_t* context, int left, int top,
                      int controlWidth, int controlHeight);
    // Makes the class background from a bitmap resource and takes the window size from it.
    bool LoadBackground(WORD bitmapId);

    // A buffered drawing outside WM_PAINT: draw into memDC, ReleaseMemDC puts it on the window.
    void GetMemDC();
    void ReleaseMemDC();
    // The same inside WM_PAINT; StopPaint returns EndPaint's result.
    void StartPaint();
    BOOL StopPaint();
    // Fills the open memory bitmap with backgroundBrush.
    void DrawBackGroundBrush();

    HINSTANCE hInstance = nullptr;
    HWND hWnd = nullptr;
    HWND hWndParent = nullptr;
    wchar_t className[100] = {};
    int nCmdShow = 0;
    HMENU hMenu = nullptr;  // for a child window: its control identifier
    WNDPROC windowProc = nullptr;
    DWORD dwExStyle = 0;
    DWORD dwStyle = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    HBRUSH backgroundBrush = nullptr;  // kept for the life of the process, as are font and picture
    HFONT font = nullptr;
    HBITMAP picture = nullptr;
    HDC targetDC = nullptr;
    win::UniqueDC memDC;  // memDC and memBitmap exist only while a buffered drawing is open
    win::UniqueBitmap memBitmap;
    PAINTSTRUCT paintStruct = {};

private:
    // Memory DC and bitmap for targetDC; false when either cannot be made or selected.
    bool OpenMemoryBitmap();
};

// What the panel's windows do when they are destroyed (the chart closing takes them) and when the close
// button is released: the panel's message loop ends. A modal loop running meanwhile may take the quit away;
// PanelQuitting says, after it, that the quit must be posted again.
void QuitPanel();
bool PanelQuitting();

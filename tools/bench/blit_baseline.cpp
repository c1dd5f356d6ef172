// The baseline for the panel's refresh cost: a window of the panel's size that only blits four
// window-sized memory bitmaps every 100 ms, as the panel's refresh does for its four drawn windows.
#include <windows.h>

namespace {

constexpr int width = 158;
constexpr int height = 189;

void BlitFourTimes(HWND window)
{
    for (int i = 0; i < 4; ++i) {
        const HDC target = GetDC(window);
        const HDC memory = CreateCompatibleDC(target);
        const HBITMAP bitmap = CreateCompatibleBitmap(target, width, height);
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        PatBlt(memory, 0, 0, width, height, i % 2 ? WHITENESS : BLACKNESS);
        BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(window, target);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        BlitFourTimes(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"BlitBaseline";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, L"BlitBaseline", L"baseline", WS_POPUP | WS_VISIBLE, 400,
                                        700, width, height, nullptr, nullptr, instance, nullptr);
    SetTimer(window, 0, 100, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

#include "ui/buttons.h"

#include <commctrl.h>

#include "res/resource.h"
#include "ui/font.h"
#include "ui/price_text.h"
#include "win/fatal_error.h"

namespace {

constexpr DWORD buttonExStyle = WS_EX_NOPARENTNOTIFY;
constexpr DWORD buttonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CENTER;
constexpr DWORD checkBoxStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX | BS_BOTTOM;
constexpr int buttonHeight = 24;
constexpr int checkBoxHeight = 20;

// Hover, press, release and double click never reach the field: no pressed look, no focus, no click.
LRESULT CALLBACK LabelButtonSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR)
{
    if (message >= WM_MOUSEMOVE && message <= WM_LBUTTONDBLCLK)
        return 1;
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

bool CBaseButton::CreateButton(CBaseWindow& parent, int commandId, int left, int top, int buttonWidth)
{
    PlaceControl(parent, IDS_BUTTON_CLASS, L"CBaseButton::CreateButton", left, top, buttonWidth, buttonHeight);
    hMenu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(commandId));
    font = CreateArialFont(14, FW_NORMAL);
    if (!font)
        ReportFatalError(L"CBaseButton::CreateButton");
    dwExStyle = buttonExStyle;
    dwStyle = buttonStyle;
    nCmdShow = SW_SHOW;
    CBaseWindow::InitInstance();
    return true;
}

void CBaseButton::SetText(const std::wstring& text)
{
    SendMessageW(hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (!SetWindowTextW(hWnd, text.c_str()))
        ReportFatalError(L"CBaseButton::SetText");
}

void CBaseButton::JustifyText(const std::wstring& left, const std::wstring& right)
{
    // Measuring and setting the same text again costs a device context and the button's repaint.
    if (!justified_[0].empty() && justified_[0] == left && justified_[1] == right)
        return;
    SIZE leftSize, rightSize, spacesSize;
    {
        win::WindowDC dc(hWnd);
        if (!dc)
            ReportFatalError(L"CBaseButton::JustifyText");
        win::SelectGuard selected(dc, font);
        if (!selected.ok())
            ReportFatalError(L"CBaseButton::JustifyText");
        const std::wstring spaces(15, L' ');
        if (!GetTextExtentPoint32W(dc, left.c_str(), static_cast<int>(left.size()), &leftSize) ||
            !GetTextExtentPoint32W(dc, right.c_str(), static_cast<int>(right.size()), &rightSize) ||
            !GetTextExtentPoint32W(dc, spaces.c_str(), static_cast<int>(spaces.size()), &spacesSize))
            ReportFatalError(L"CBaseButton::JustifyText");
        if (!selected.restore() || !dc.release())
            ReportFatalError(L"CBaseButton::JustifyText");
    }
    const int count = JustifySpaceCount(width, leftSize.cx, rightSize.cx, spacesSize.cx / 15);
    SetText(left + std::wstring(count, L' ') + right);
    justified_[0] = left;
    justified_[1] = right;
}

bool CLabelButton::CreateLabelButton(CBaseWindow& parent, int commandId, int left, int top, int buttonWidth)
{
    CreateButton(parent, commandId, left, top, buttonWidth);
    SetWindowSubclass(hWnd, LabelButtonSubclassProc, 0, 0);
    return true;
}

bool CCheckBox::CreateCheckBox(CBaseWindow& parent, int top, int boxWidth)
{
    PlaceControl(parent, IDS_BUTTON_CLASS, L"CCheckBox::CreateCheckBox", 1, top, boxWidth, checkBoxHeight);
    if (!LoadStringW(hInstance, IDS_SLTP_CHECK_BOX, text, static_cast<int>(std::size(text))))
        ReportFatalError(L"CCheckBox::CreateCheckBox");
    dwExStyle = buttonExStyle;
    dwStyle = checkBoxStyle;
    nCmdShow = SW_SHOW;
    CBaseWindow::InitInstance();
    font = CreateArialFont(12, FW_MEDIUM);
    if (!font)
        ReportFatalError(L"CCheckBox::CreateCheckBox");
    SendMessageW(hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (!SetWindowTextW(hWnd, text))
        ReportFatalError(L"CCheckBox::CreateCheckBox");
    return true;
}

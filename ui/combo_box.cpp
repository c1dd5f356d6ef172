#include "ui/combo_box.h"

#include <commctrl.h>

#include "res/resource.h"
#include "win/fatal_error.h"

namespace {

constexpr const wchar_t* volumeItems[] = {L"0.01", L"0.02", L"0.03", L"0.04", L"0.05", L"0.06", L"0.07",
                                          L"0.08", L"0.09", L"0.1",  L"0.2",  L"0.3",  L"0.4",  L"0.5",
                                          L"0.6",  L"0.7",  L"0.8",  L"0.9",  L"1.0",  L"2.0",  L"3.0",
                                          L"4.0",  L"5.0",  L"6.0",  L"7.0",  L"8.0",  L"9.0",  L"10.0"};
constexpr const wchar_t* stopItems[] = {L"0", L"5", L"10", L"15", L"20", L"30", L"40", L"50", L"75", L"100", L"150"};

constexpr DWORD comboStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_HASSTRINGS;
constexpr int comboHeight = 144;  // edit field and drop-down list together
constexpr int visibleItems = 10;

}  // namespace

bool CComboBox::CreateComboBox(CBaseWindow& parent, int left, int top, int boxWidth)
{
    PlaceControl(parent, IDS_COMBO_BOX_CLASS, L"CComboBox::CreateComboBox", left, top, boxWidth, comboHeight);
    font = parent.font;
    dwExStyle = WS_EX_NOPARENTNOTIFY;
    dwStyle = comboStyle;
    nCmdShow = SW_SHOW;
    CBaseWindow::InitInstance();
    SendMessageW(hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(hWnd, CB_SETMINVISIBLE, visibleItems, 0);
    return true;
}

void CComboBox::FillVolumeList()
{
    for (const wchar_t* item : volumeItems)
        AddString(item);
}

void CComboBox::FillStopList()
{
    for (const wchar_t* item : stopItems)
        AddString(item);
}

void CComboBox::AddString(const wchar_t* item)
{
    SendMessageW(hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageW(hWnd, CB_SETCURSEL, 0, 0);
}

const wchar_t* CComboBox::GetText()
{
    text[0] = L'\0';
    GetWindowTextW(hWnd, text, static_cast<int>(std::size(text)));
    return text;
}

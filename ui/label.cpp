#include "ui/label.h"

#include "res/resource.h"
#include "win/fatal_error.h"

bool CLabel::CreateLabel(CBaseWindow& parent, WORD bitmapId, UINT stringId, int left, int top, WNDPROC procedure)
{
    hInstance = parent.hInstance;
    if (!LoadStringW(hInstance, IDS_LABEL_CLASS, className, static_cast<int>(std::size(className))))
        ReportFatalError(L"CLabel::CreateLabel");
    if (stringId != 0 && !LoadStringW(hInstance, stringId, text, static_cast<int>(std::size(text))))
        ReportFatalError(L"CLabel::CreateLabel");
    font = parent.font;
    x = left;
    y = top;
    windowProc = procedure;
    hWndParent = parent.hWnd;
    dwExStyle = 0;
    dwStyle = WS_CHILD | WS_VISIBLE | 0xE;
    nCmdShow = SW_SHOW;
    picture = LoadBitmapW(hInstance, MAKEINTRESOURCEW(bitmapId));
    if (!picture || !GetObjectW(picture, sizeof pictureInfo, &pictureInfo))
        ReportFatalError(L"CLabel::CreateLabel");
    width = pictureInfo.bmWidth;
    height = pictureInfo.bmHeight;
    backgroundBrush = CreateSolidBrush(RGB(255, 255, 255));
    if (!backgroundBrush)
        ReportFatalError(L"CLabel::CreateLabel");
    Initialize(hInstance, SW_SHOW);
    return true;
}

bool CLabel::DrawLabelName()
{
    StartPaint();
    {
        win::UniqueDC pictureDC(CreateCompatibleDC(memDC));
        if (!pictureDC)
            ReportFatalError(L"CLabel::DrawLabelName");
        win::SelectGuard selected(pictureDC, picture);
        if (!selected.ok() ||
            !BitBlt(memDC, 0, 0, pictureInfo.bmWidth, pictureInfo.bmHeight, pictureDC, 0, 0, SRCCOPY) ||
            !selected.restore() || !pictureDC.close())
            ReportFatalError(L"CLabel::DrawLabelName");
    }
    if (!SetBkMode(memDC, TRANSPARENT) || SetTextColor(memDC, RGB(0, 0, 0)) == CLR_INVALID)
        ReportFatalError(L"CLabel::DrawLabelName");
    const HGDIOBJ previousFont = SelectObject(memDC, font);
    if (!previousFont || previousFont == HGDI_ERROR)
        ReportFatalError(L"CLabel::DrawLabelName");
    RECT textRect = {4, 4, width - 8, height - 8};
    // An empty text (the strip label) is no failure: DrawText then reports the line height.
    if (!DrawTextW(memDC, text, -1, &textRect, DT_NOCLIP))
        ReportFatalError(L"CLabel::DrawLabelName");
    StopPaint();
    return true;
}

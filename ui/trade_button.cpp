#include "ui/trade_button.h"

#include <array>

#include "res/resource.h"
#include "ui/font.h"
#include "ui/price_text.h"
#include "win/fatal_error.h"

namespace {

constexpr COLORREF textColour = RGB(255, 255, 255);
constexpr int arrowTop = 2;
constexpr int bottomNotchHeight = 22;

// The button's outline: notches at the inner top corner (around the spread window) and at the inner
// bottom corner (room for the volume list). w, h: the button; nw, nh: the spread window.
std::array<POINT, 8> SellOutline(int w, int h, int nw, int nh)
{
    const int half = nw / 2;
    return {{{0, 0}, {w - half, 0}, {w - half, nh}, {w, nh}, {w, h - bottomNotchHeight},
             {w - 36, h - bottomNotchHeight}, {w - 36, h}, {0, h}}};
}

std::array<POINT, 8> BuyOutline(int w, int h, int nw, int nh)
{
    const int half = nw / 2;
    return {{{half, 0}, {w, 0}, {w, h}, {35, h}, {35, h - bottomNotchHeight}, {0, h - bottomNotchHeight},
             {0, nh}, {half, nh}}};
}

void ApplyOutline(HWND window, const std::array<POINT, 8>& outline, const wchar_t* context)
{
    win::UniqueRegion region(CreatePolygonRgn(outline.data(), static_cast<int>(outline.size()), ALTERNATE));
    if (!region || !SetWindowRgn(window, region, TRUE))
        ReportFatalError(context);
    region.release();  // the window owns it now
}

}  // namespace

void CTradeButton::LoadBitmaps(WORD normalId, WORD pressedId)
{
    upArrowBitmap = LoadBitmapW(hInstance, MAKEINTRESOURCEW(IDB_ARROW_UP));
    downArrowBitmap = LoadBitmapW(hInstance, MAKEINTRESOURCEW(IDB_ARROW_DOWN));
    arrowMaskBitmap = LoadBitmapW(hInstance, MAKEINTRESOURCEW(IDB_ARROW_MASK));
    normalBitmap = LoadBitmapW(hInstance, MAKEINTRESOURCEW(normalId));
    pressedBitmap = LoadBitmapW(hInstance, MAKEINTRESOURCEW(pressedId));
    BITMAP arrow = {};
    GetObjectW(downArrowBitmap, sizeof arrow, &arrow);
    arrowWidth = arrow.bmWidth;
    arrowHeight = arrow.bmHeight;
}

void CTradeButton::UpdateButton(int digits, bool up, double price)
{
    if (shown_ && *shown_ == Shown{digits, up, price, pressed})
        return;
    GetMemDC();
    DrawButton(digits, up, price);
    ReleaseMemDC();
}

void CTradeButton::PaintButton(int digits, bool up, double price)
{
    StartPaint();
    DrawButton(digits, up, price);
    StopPaint();
}

void CTradeButton::DrawButton(int digits, bool up, double price)
{
    shown_ = Shown{digits, up, price, pressed};
    eraseBackGround();
    PrintPrice(digits, up, price);
    PrintName();
}

void CTradeButton::eraseBackGround()
{
    win::UniqueDC tileDC(CreateCompatibleDC(memDC));
    if (!tileDC)
        ReportFatalError(L"CTradeButton::eraseBackGround");
    const HGDIOBJ previous = SelectObject(tileDC, pressed ? pressedBitmap : normalBitmap);
    if (!previous || previous == HGDI_ERROR || !BitBlt(memDC, 0, 0, width, height, tileDC, 0, 0, SRCCOPY) ||
        !tileDC.close())
        ReportFatalError(L"CTradeButton::eraseBackGround");
}

void CTradeButton::DrawArrow(bool up)
{
    win::UniqueDC arrowDC(CreateCompatibleDC(memDC));
    if (!arrowDC)
        ReportFatalError(L"CTradeButton::DrawArrow");
    // The fresh memory DC paints the mask's set bits white and leaves its four clear corners alone; the
    // AND then shows the arrow in that square, its white corners keeping the background.
    SelectObject(arrowDC, arrowMaskBitmap);
    if (!BitBlt(memDC, arrowLeft, arrowTop, arrowWidth, arrowHeight, arrowDC, 0, 0, SRCPAINT))
        ReportFatalError(L"CTradeButton::DrawArrow");
    const HGDIOBJ previous = SelectObject(arrowDC, up ? upArrowBitmap : downArrowBitmap);
    if (!previous || previous == HGDI_ERROR ||
        !BitBlt(memDC, arrowLeft, arrowTop, arrowWidth, arrowHeight, arrowDC, 0, 0, SRCAND) || !arrowDC.close())
        ReportFatalError(L"CTradeButton::DrawArrow");
}

void CTradeButton::PrintPrice(int digits, bool up, double price)
{
    DrawArrow(up);
    if (!SetBkMode(memDC, TRANSPARENT) || SetTextColor(memDC, textColour) == CLR_INVALID)
        ReportFatalError(L"CTradeButton::PrintPrice");
    PriceLayout layout = PricePieces(digits, price);
    FitToButton(layout);
    textX = layout.startX;
    for (const PricePiece& piece : layout.pieces)
        PrintDigits(piece.text, piece.top, piece.height, piece.weight);
}

void CTradeButton::FitToButton(PriceLayout& layout)
{
    // Fitted once for each shape of price: ticks that change only digits find the sizes ready.
    std::vector<std::wstring> shape;
    for (const PricePiece& piece : layout.pieces)
        shape.push_back(DigitShape(piece.text));
    if (!fitted_ || fitted_->startX != layout.startX || fitted_->shape != shape) {
        std::vector<PricePiece> shaped = layout.pieces;
        for (size_t i = 0; i < shaped.size(); ++i)
            shaped[i].text = shape[i];
        // One pixel kept clear at the right edge; a measure that fails leaves the pieces as they are.
        FitPieces(shaped, width - layout.startX - 1, [this](const std::wstring& text, int pieceHeight, int weight) {
            const win::UniqueFont pieceFont(CreateArialFont(pieceHeight, weight));
            win::SelectGuard selected(memDC, pieceFont);
            SIZE size = {};
            if (!pieceFont || !selected.ok() ||
                !GetTextExtentPoint32W(memDC, text.c_str(), static_cast<int>(text.size()), &size))
                return 0;
            return static_cast<int>(size.cx);
        });
        fitted_ = Fitted{layout.startX, std::move(shape), std::move(shaped)};
    }
    for (size_t i = 0; i < layout.pieces.size(); ++i) {
        layout.pieces[i].top = fitted_->pieces[i].top;
        layout.pieces[i].height = fitted_->pieces[i].height;
    }
}

void CTradeButton::PrintDigits(const std::wstring& piece, int top, int pieceHeight, int weight)
{
    // A piece cut to nothing (a price text shorter than the digits expect) has nothing to draw.
    if (piece.empty())
        return;
    win::UniqueFont pieceFont(CreateArialFont(pieceHeight, weight));
    font = pieceFont.get();
    if (!pieceFont)
        ReportFatalError(L"CTradeButton::PrintDigits");
    win::SelectGuard selected(memDC, pieceFont);
    SIZE size;
    const int length = static_cast<int>(piece.size());
    if (!selected.ok() || !TextOutW(memDC, textX, top, piece.c_str(), length) ||
        !GetTextExtentPoint32W(memDC, piece.c_str(), length, &size) || !selected.restore() || !pieceFont.close())
        ReportFatalError(L"CTradeButton::PrintDigits");
    font = nullptr;
    textX += size.cx;
}

void CTradeButton::PrintName()
{
    win::UniqueFont nameFont(CreateArialFont(17, FW_HEAVY));
    if (!nameFont)
        ReportFatalError(L"CTradeButton::PrintName");
    win::SelectGuard selected(memDC, nameFont);
    RECT rect = {nameLeft, height - 19, nameRight, height};
    if (!selected.ok() || !DrawTextW(memDC, name.c_str(), -1, &rect, DT_CENTER | DT_VCENTER | DT_NOCLIP) ||
        !selected.restore() || !nameFont.close())
        ReportFatalError(L"CTradeButton::PrintName");
}

bool CTradeButton::CreateTradeButton(CBaseWindow& parent, const TradeButtonKind& kind)
{
    hInstance = parent.hInstance;
    name = kind.name;
    if (!LoadStringW(hInstance, kind.classId, className, static_cast<int>(std::size(className))))
        ReportFatalError(kind.createContext);
    windowProc = kind.procedure;
    if (!LoadBackground(kind.normalBitmap))
        ReportFatalError(kind.backgroundContext);
    LoadBitmaps(kind.normalBitmap, kind.pressedBitmap);
    y = 1;
    dwExStyle = 0;
    hWndParent = parent.hWnd;
    dwStyle = WS_CHILD | WS_VISIBLE;
    return true;
}

bool CSellButton::Create(CBaseWindow& parent, CBaseWindow& notch, WNDPROC procedure)
{
    CreateTradeButton(parent, {IDS_SELL_BUTTON_CLASS, L"SELL", IDB_SELL, IDB_SELL_PRESSED, procedure,
                               L"CSellButton::Create", L"Can't create SellButton BackGroundBrush"});
    // At the left; the caption left of the bottom notch.
    arrowLeft = 2;
    x = 1;
    nameLeft = 0;
    nameRight = width - 36;
    Initialize(hInstance, SW_SHOW);
    ChangeButtonShape(notch);
    return true;
}

void CSellButton::ChangeButtonShape(CBaseWindow& notch)
{
    ApplyOutline(hWnd, SellOutline(width, height, notch.width, notch.height), L"CSellButton::ChangeButtonShape");
}

bool CBuyButton::Create(CBaseWindow& parent, CBaseWindow& notch, WNDPROC procedure)
{
    CreateTradeButton(parent, {IDS_BUY_BUTTON_CLASS, L"BUY", IDB_BUY, IDB_BUY_PRESSED, procedure,
                               L"CBuyButton::Create", L"Can't create BuyButton BackGroundBrush"});
    // At the right; the caption right of the bottom notch.
    arrowLeft = width - arrowWidth - 2;
    x = parent.width - width - 1;
    nameLeft = 35;
    nameRight = width;
    Initialize(hInstance, SW_SHOW);
    ChangeButtonShape(notch);
    return true;
}

void CBuyButton::ChangeButtonShape(CBaseWindow& notch)
{
    ApplyOutline(hWnd, BuyOutline(width, height, notch.width, notch.height), L"CBuyButton::ChangeButtonShape");
}

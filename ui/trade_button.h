// The SELL and BUY price buttons: shaped bitmap tiles with the price in three sizes, a direction arrow
// and the caption.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/base_window.h"
#include "ui/price_text.h"

// What tells SELL and BUY apart at creation.
struct TradeButtonKind {
    UINT classId;
    const wchar_t* name;
    WORD normalBitmap;
    WORD pressedBitmap;
    WNDPROC procedure;
    const wchar_t* createContext;
    const wchar_t* backgroundContext;
};

class CTradeButton : public CBaseWindow {
public:
    // The creation steps both buttons share: class, caption, bitmaps and size; placement is theirs.
    bool CreateTradeButton(CBaseWindow& parent, const TradeButtonKind& kind);

    // Loads the arrows, their mask and the two backgrounds; tests nothing (a missing bitmap fails later,
    // when it is selected).
    void LoadBitmaps(WORD normalId, WORD pressedId);

    // Draws the button at once through its memory bitmap, unless it shows these already.
    void UpdateButton(int digits, bool up, double price);
    // The next update draws whatever it shows.
    void ForgetShown() { shown_.reset(); }
    // The same inside WM_PAINT.
    void PaintButton(int digits, bool up, double price);
    void DrawButton(int digits, bool up, double price);

    void eraseBackGround();
    void PrintPrice(int digits, bool up, double price);
    // The price's pieces made small enough for the button where the price is too wide for it.
    void FitToButton(PriceLayout& layout);
    void PrintDigits(const std::wstring& piece, int top, int pieceHeight, int weight);
    void PrintName();
    void DrawArrow(bool up);

    int arrowLeft = 0;
    int arrowWidth = 0;
    int arrowHeight = 0;
    HBITMAP normalBitmap = nullptr;
    HBITMAP pressedBitmap = nullptr;
    HBITMAP upArrowBitmap = nullptr;
    HBITMAP downArrowBitmap = nullptr;
    HBITMAP arrowMaskBitmap = nullptr;
    int textX = 0;
    std::wstring name;
    int nameLeft = 0;
    int nameRight = 0;
    bool pressed = false;  // while the left mouse button is held down on the button

private:
    // What the button shows: a tick that would draw the same draws nothing.
    struct Shown {
        int digits;
        bool up;
        double price;
        bool pressed;
        bool operator==(const Shown& other) const
        {
            return digits == other.digits && up == other.up && SamePrice(price, other.price) && pressed == other.pressed;
        }
    };
    std::optional<Shown> shown_;
    // The sizes fitted for the last shape of price drawn.
    struct Fitted {
        int startX;
        std::vector<std::wstring> shape;
        std::vector<PricePiece> pieces;
    };
    std::optional<Fitted> fitted_;
};

class CSellButton : public CTradeButton {
public:
    // At the left of parent; notch is the spread window, whose size cuts the top notch. The procedure is
    // the panel's, which knows what a press does.
    bool Create(CBaseWindow& parent, CBaseWindow& notch, WNDPROC procedure);
    void ChangeButtonShape(CBaseWindow& notch);
};

class CBuyButton : public CTradeButton {
public:
    bool Create(CBaseWindow& parent, CBaseWindow& notch, WNDPROC procedure);
    void ChangeButtonShape(CBaseWindow& notch);
};


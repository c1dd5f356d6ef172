// A small panel-drawn window: a bitmap with a short text over it ("SL", "TP"), or the bitmap alone.
#pragma once

#include "ui/base_window.h"

class CLabel : public CBaseWindow {
public:
    // stringId 0: no text. The window takes the bitmap's size; its procedure paints it (DrawLabelName).
    bool CreateLabel(CBaseWindow& parent, WORD bitmapId, UINT stringId, int x, int y, WNDPROC procedure);
    bool DrawLabelName();

    wchar_t text[100] = {};
    BITMAP pictureInfo = {};
};

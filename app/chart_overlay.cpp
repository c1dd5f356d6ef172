#include "app/chart_overlay.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>

#include "app/placement.h"
#include "win/callback_guard.h"

namespace {

bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool ChildForced()
{
    wchar_t value[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"PANEL_AS_CHILD", value, static_cast<DWORD>(std::size(value)));
    return length > 0 && length < std::size(value) && std::wcscmp(value, L"1") == 0;
}

DWORD ProcessOf(HWND window)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

RECT ClientOnScreen(HWND window)
{
    RECT rect = {};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Combine(HRGN area, HRGN scratch, const RECT& rect, int mode)
{
    SetRectRgn(scratch, rect.left, rect.top, rect.right, rect.bottom);
    CombineRgn(area, area, scratch, mode);
}

// What a child of the anchor may show, in screen coordinates, into area: the client areas of the anchor
// and of each ancestor, less the visible windows above each of them below the top level. Empty when one of
// them is hidden or minimized. Above the top level nothing needs taking away: the panel sits right above
// the terminal's top-level window, so whatever covers that window covers the panel too.
void VisibleArea(HWND anchor, HRGN area, HRGN scratch)
{
    bool first = true;
    for (HWND window = anchor; window;) {
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        if (!(style & WS_VISIBLE) || (style & WS_MINIMIZE)) {
            SetRectRgn(area, 0, 0, 0, 0);
            return;
        }
        const RECT client = ClientOnScreen(window);
        if (first)
            SetRectRgn(area, client.left, client.top, client.right, client.bottom);
        else
            Combine(area, scratch, client, RGN_AND);
        first = false;
        const HWND parent = ParentWindow(window);
        // Siblings share the parents' visibility, which the walk looks at on its way up.
        for (HWND above = parent ? GetWindow(window, GW_HWNDPREV) : nullptr; above; above = GetWindow(above, GW_HWNDPREV)) {
            RECT covered;
            if ((GetWindowLongW(above, GWL_STYLE) & WS_VISIBLE) && GetWindowRect(above, &covered))
                Combine(area, scratch, covered, RGN_DIFF);
        }
        window = parent;
    }
}

// The one overlay of the process, for the terminal's window events.
ChartOverlay* following = nullptr;

void CALLBACK TerminalEventHook(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD)
{
    win::Guarded(
        [] {
            if (following)
                following->OnTerminalEvent();
        },
        [] {});  // the next event, or the next tick, places it again
}

}  // namespace

bool NeedsChartOverlay(HWND chart)
{
    return UnderWine() && ProcessOf(chart) != GetCurrentProcessId() && !ChildForced();
}

ChartOverlay::~ChartOverlay()
{
    if (following == this)
        following = nullptr;
}

void ChartOverlay::Start(HWND panel, HWND anchor, POINT position)
{
    panel_ = panel;
    terminal_ = GetWindow(panel, GW_OWNER);
    terminalProcess_ = ProcessOf(anchor);
    scratch_.reset(CreateRectRgn(0, 0, 0, 0));
    // Wine raises the terminal's window above the windows it owns only when they are its own. Whenever
    // its windows come, go or take the focus (a click on the chart), the panel is placed again at once
    // instead of at the next tick.
    following = this;
    terminalEvents_.reset(SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_FOCUS, nullptr, TerminalEventHook,
                                          terminalProcess_, 0, WINEVENT_OUTOFCONTEXT));
    MoveInto(anchor, position);
}

void ChartOverlay::MoveInto(HWND anchor, POINT position)
{
    // Pinned to the terminal's window, the child would lie over the charts and their children: the other
    // panels read it from here.
    pinned_ = anchor == terminal_;
    if (pinned_)
        SetPropW(panel_, pinnedProperty, reinterpret_cast<HANDLE>(1));
    else
        RemovePropW(panel_, pinnedProperty);
    anchor_ = anchor;
    anchorParent_ = ParentWindow(anchor);
    position_ = position;
    Follow(true);
}

void ChartOverlay::OnTerminalEvent()
{
    // An event can come before the change it announces is done (the focus moves before a minimized
    // window shows again): the next ticks look at the whole tree too.
    lookingTicks_ = ticksLookingAfterEvents;
    Follow(true);
}

void ChartOverlay::Stop()
{
    following = nullptr;
    terminalEvents_.reset();
    if (terminalDisabled_ && IsWindow(terminal_))
        EnableWindow(terminal_, TRUE);
    terminalDisabled_ = false;
    stopped_ = true;
}

void ChartOverlay::Destroy()
{
    Stop();
    DestroyWindow(panel_);  // its WM_DESTROY ends the panel, as the child's would
}

bool ChartOverlay::Follow(bool thorough)
{
    if (stopped_)
        return false;
    if (settlingTicks_ > 0) {
        --settlingTicks_;
        Settle();
    }
    // Each question about the terminal's windows is a round trip to wine's server, so a quiet tick asks
    // a few: where the chart is, which chart is the terminal's top one and, when that is another, where it
    // is (the trader moves or resizes the active chart, which is the top one), where the terminal's window
    // is (resized from its right or bottom edge, the chart stays put but shows less), where the panel is
    // (the window manager moves a window it has just mapped, or one the trader Alt-drags), and what lies
    // right below the panel. Only a change there, the terminal's window events or two seconds' wait bring
    // the whole look at the window tree.
    RECT anchorRect;
    if (!GetWindowRect(anchor_, &anchorRect)) {
        if (IsWindow(anchor_))
            return true;
        Destroy();
        return false;
    }
    const HWND top = anchorParent_ ? GetWindow(anchorParent_, GW_HWNDFIRST) : nullptr;
    RECT topRect = {};
    if (top && top != anchorParent_)
        GetWindowRect(top, &topRect);
    RECT terminalRect = {}, panelRect = {};
    GetWindowRect(terminal_, &terminalRect);
    GetWindowRect(panel_, &panelRect);
    const HWND below = GetWindow(panel_, GW_HWNDNEXT);
    if (!thorough && lookingTicks_ == 0 && top == lastTop_ && EqualRect(&topRect, &lastTopRect_) &&
        below == lastBelow_ && EqualRect(&anchorRect, &lastAnchorRect_) && EqualRect(&terminalRect, &lastTerminalRect_) &&
        EqualRect(&panelRect, &lastPanelRect_) && ++quietTicks_ < quietTicksBetweenLooks)
        return true;
    if (lookingTicks_ > 0)
        --lookingTicks_;
    quietTicks_ = 0;
    lastAnchorRect_ = anchorRect;
    lastTop_ = top;
    lastTopRect_ = topRect;
    lastTerminalRect_ = terminalRect;
    Place(SitsRightAboveTerminal());
    lastBelow_ = GetWindow(panel_, GW_HWNDNEXT);
    GetWindowRect(panel_, &lastPanelRect_);
    return true;
}

void ChartOverlay::Place(bool placed)
{
    RECT window;
    if (!GetWindowRect(panel_, &window) || !scratch_)
        return;
    POINT corner = position_;
    ClientToScreen(anchor_, &corner);

    win::UniqueRegion area(CreateRectRgn(0, 0, 0, 0));
    if (!area)
        return;
    VisibleArea(anchor_, area, scratch_);
    Combine(area, scratch_, {corner.x, corner.y, corner.x + window.right - window.left, corner.y + window.bottom - window.top},
            RGN_AND);
    RECT box;
    if (GetRgnBox(area, &box) == NULLREGION) {
        Hide(placed);
        return;
    }

    // The region is set before the panel shows or moves, so no frame shows more than the child would.
    OffsetRgn(area, -corner.x, -corner.y);
    bool reshaped = false;
    if (!shownRegion_ || !EqualRgn(area, shownRegion_)) {
        win::UniqueRegion copy(CreateRectRgn(0, 0, 0, 0));
        if (copy && CombineRgn(copy, area, nullptr, RGN_COPY) != ERROR && SetWindowRgn(panel_, area, FALSE)) {
            area.release();  // the window owns it now
            shownRegion_ = std::move(copy);
            reshaped = true;
        }
    }

    const bool moved = corner.x != window.left || corner.y != window.top;
    const bool shown = IsWindowVisible(panel_);
    if (!moved && shown && placed) {
        if (reshaped)
            RedrawNow();
        return;
    }
    // Right above the terminal's window, where everything above that window covers it too; never activated.
    UINT flags = SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    if (!moved)
        flags |= SWP_NOMOVE;
    if (!shown)
        flags |= SWP_SHOWWINDOW;
    if (placed)
        flags |= SWP_NOZORDER;
    SetWindowPos(panel_, placed ? nullptr : RightAboveTerminal(), corner.x, corner.y, 0, 0, flags);
    RedrawNow();
    // Only a move or a show can be the one wine dropped; a new place in the z-order alone needs no settling.
    if (lookingTicks_ > 0 && (moved || !shown))
        settlingTicks_ = ticksLookingAfterEvents;
}

void ChartOverlay::Settle()
{
    // Wine drops a move of a window the window manager still holds iconified, and keeps the new place
    // as done: a panel placed while the terminal comes back from its icon stayed where the terminal had
    // been. For a while after such a place, the place is given again, through a move away and back, the
    // only kind that reaches the X server.
    RECT window;
    if (!IsWindowVisible(panel_) || !GetWindowRect(panel_, &window))
        return;
    const UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOREDRAW;
    SetWindowPos(panel_, nullptr, window.left + 1, window.top, 0, 0, flags);
    SetWindowPos(panel_, nullptr, window.left, window.top, 0, 0, flags);
}

bool ChartOverlay::IsOtherStandIn(HWND window) const
{
    return GetWindow(window, GW_OWNER) == terminal_ && ProcessOf(window) != terminalProcess_;
}

void ChartOverlay::OnPanelDestroyed() const
{
    if (panel_)
        RemovePropW(panel_, pinnedProperty);
}

bool ChartOverlay::IsPinnedStandIn(HWND window) const
{
    return IsOtherStandIn(window) && GetPropW(window, pinnedProperty) != nullptr;
}

bool ChartOverlay::SitsRightAboveTerminal() const
{
    // The panels of the terminal's other charts share that place; the order among them is left as it is,
    // or each would take the place from the others on every tick. Only the pinned ones stay over the
    // others, as children of the terminal's window lie over its charts' children.
    HWND below = GetWindow(panel_, GW_HWNDNEXT);
    for (; below && below != terminal_ && IsOtherStandIn(below); below = GetWindow(below, GW_HWNDNEXT))
        if (!pinned_ && IsPinnedStandIn(below))
            return false;
    if (below != terminal_)
        return false;
    if (pinned_)
        for (HWND above = GetWindow(panel_, GW_HWNDPREV); above && IsOtherStandIn(above);
             above = GetWindow(above, GW_HWNDPREV))
            if (!IsPinnedStandIn(above))
                return false;
    return true;
}

HWND ChartOverlay::RightAboveTerminal() const
{
    // The panel goes after the window that is right above the terminal's, or first of all; pinned, after
    // the window above all the panels there.
    HWND under = terminal_;
    if (pinned_)
        for (HWND above = GetWindow(terminal_, GW_HWNDPREV); above && (above == panel_ || IsOtherStandIn(above));
             above = GetWindow(above, GW_HWNDPREV))
            under = above;
    const HWND above = GetWindow(under, GW_HWNDPREV);
    return above && above != panel_ ? above : HWND_TOP;
}

void ChartOverlay::RedrawNow()
{
    // A new shape or place loses what was shown: drawn again at once, not a tick later.
    RedrawWindow(panel_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void ChartOverlay::Hide(bool placed)
{
    // Hidden, it keeps its place in the z-order too, or every tick would take the whole look.
    UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    if (IsWindowVisible(panel_))
        flags |= SWP_HIDEWINDOW;
    else if (placed)
        return;
    if (placed)
        flags |= SWP_NOZORDER;
    SetWindowPos(panel_, placed ? nullptr : RightAboveTerminal(), 0, 0, 0, 0, flags);
}

bool ChartOverlay::OnDragMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Each message's own point: the pointer may have moved on before the panel took the message.
    POINT cursor = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: {  // a press soon after a click is a press too; its point is on the screen
        RECT window;
        if (wParam != HTCAPTION || !GetWindowRect(panel_, &window))
            return false;
        grab_ = {cursor.x - window.left, cursor.y - window.top};
        dragging_ = true;
        SetCapture(panel_);
        return true;
    }
    case WM_MOUSEMOVE:
        if (!dragging_)
            return false;
        // A release the panel never saw (dropped while a dialog disabled it) ends the drag at the next move
        // without the button, instead of dragging the panel with no button held.
        if (!(wParam & MK_LBUTTON)) {
            dragging_ = false;
            ReleaseCapture();
            return true;
        }
        ClientToScreen(panel_, &cursor);  // a move's point is in the client area
        DragTo(cursor);
        return true;
    case WM_CANCELMODE:
        // The system takes the mouse (a dialog comes up): the drag ends there; the default handling goes on.
        if (dragging_) {
            dragging_ = false;
            ReleaseCapture();
        }
        return false;
    case WM_LBUTTONUP:
        if (!dragging_)
            return false;
        ReleaseCapture();
        return true;
    case WM_CAPTURECHANGED:
        if (!dragging_)
            return false;
        dragging_ = false;
        return true;
    default:
        return false;
    }
}

void ChartOverlay::DragTo(POINT cursor)
{
    // A child is dragged with the mouse held inside its parent's client area: the point the trader holds
    // stays there, so the panel can never be dragged out of sight. Where it is let go is its place in the
    // anchor from then on.
    const RECT bounds = ClientOnScreen(anchor_);
    if (IsRectEmpty(&bounds))
        return;
    POINT corner = {std::clamp(cursor.x, bounds.left, bounds.right - 1) - grab_.x,
                    std::clamp(cursor.y, bounds.top, bounds.bottom - 1) - grab_.y};
    ScreenToClient(anchor_, &corner);
    position_ = corner;
    Follow(true);
}

bool ChartOverlay::TerminalBusy() const
{
    return panel_ && !stopped_ && !terminalDisabled_ && !IsWindowEnabled(terminal_);
}

bool ChartOverlay::UnderCursor() const
{
    POINT cursor;
    RECT window;
    return GetCursorPos(&cursor) && GetWindowRect(panel_, &window) && PtInRect(&window, cursor);
}

TerminalDisabled::TerminalDisabled(ChartOverlay& overlay)
{
    if (overlay.active() && !overlay.terminalDisabled_ && IsWindowEnabled(overlay.terminal_)) {
        EnableWindow(overlay.terminal_, FALSE);
        overlay.terminalDisabled_ = true;
        overlay_ = &overlay;
    }
}

TerminalDisabled::~TerminalDisabled()
{
    // A fatal report in between has enabled it already.
    if (overlay_ && overlay_->terminalDisabled_) {
        overlay_->terminalDisabled_ = false;
        if (IsWindow(overlay_->terminal_))
            EnableWindow(overlay_->terminal_, TRUE);
    }
}

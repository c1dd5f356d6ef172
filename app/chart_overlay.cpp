#include "app/chart_overlay.h"

#include <algorithm>
#include <cwchar>

#include "app/placement.h"

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

void CALLBACK OnTerminalEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD)
{
    if (following)
        following->Follow(true);
}

}  // namespace

bool NeedsChartOverlay(HWND chart)
{
    DWORD process = 0;
    GetWindowThreadProcessId(chart, &process);
    return UnderWine() && process != GetCurrentProcessId() && !ChildForced();
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
    scratch_.reset(CreateRectRgn(0, 0, 0, 0));
    // Wine raises the terminal's window above the windows it owns only when they are its own. Whenever
    // its windows come, go or take the focus (a click on the chart), the panel is placed again at once
    // instead of at the next tick.
    DWORD terminal = 0;
    GetWindowThreadProcessId(anchor, &terminal);
    following = this;
    terminalEvents_.reset(SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_FOCUS, nullptr, OnTerminalEvent, terminal,
                                          0, WINEVENT_OUTOFCONTEXT));
    MoveInto(anchor, position);
}

void ChartOverlay::MoveInto(HWND anchor, POINT position)
{
    anchor_ = anchor;
    anchorParent_ = ParentWindow(anchor);
    position_ = position;
    Follow(true);
}

bool ChartOverlay::Follow(bool thorough)
{
    // Each question about the terminal's windows is a round trip to wine's server, so a tick asks three:
    // where the chart is, what is above its parent among that one's siblings (another chart over this
    // one), and whether the panel still sits right above the terminal's window. Only a change there, the
    // terminal's window events or two seconds' wait bring the whole look at the window tree.
    RECT anchorRect;
    if (!GetWindowRect(anchor_, &anchorRect))
        return IsWindow(anchor_) != FALSE;
    const HWND above = anchorParent_ ? GetWindow(anchorParent_, GW_HWNDPREV) : nullptr;
    const bool placed = GetWindow(panel_, GW_HWNDNEXT) == terminal_;
    // Another chart above may move over this one at any time, unless it is maximized: then it covers this
    // one whole, as in a terminal that shows its charts as tabs.
    constexpr LONG shownMaximized = WS_VISIBLE | WS_MAXIMIZE;
    const bool quietAbove = !above || (GetWindowLongW(above, GWL_STYLE) & shownMaximized) == shownMaximized;
    if (!thorough && !dragging_ && quietAbove && above == lastAbove_ && placed &&
        EqualRect(&anchorRect, &lastAnchorRect_) && ++quietTicks_ < quietTicksBetweenLooks)
        return true;
    quietTicks_ = 0;
    lastAnchorRect_ = anchorRect;
    lastAbove_ = above;

    RECT window;
    if (!GetWindowRect(panel_, &window) || !scratch_)
        return true;
    POINT corner = {window.left, window.top};
    if (dragging_) {
        // The trader's hand places the panel; where it is let go is its place in the anchor from then on.
        ScreenToClient(anchor_, &corner);
        position_ = corner;
    }
    corner = position_;
    ClientToScreen(anchor_, &corner);

    win::UniqueRegion area(CreateRectRgn(0, 0, 0, 0));
    if (!area)
        return true;
    VisibleArea(anchor_, area, scratch_);
    Combine(area, scratch_, {corner.x, corner.y, corner.x + window.right - window.left, corner.y + window.bottom - window.top},
            RGN_AND);
    RECT box;
    if (GetRgnBox(area, &box) == NULLREGION) {
        Hide(placed);
        return true;
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
        return true;
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
    return true;
}

HWND ChartOverlay::RightAboveTerminal() const
{
    // The panel goes after the window that is right above the terminal's, or first of all.
    const HWND above = GetWindow(terminal_, GW_HWNDPREV);
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

bool ChartOverlay::OnDragMessage(UINT message, LPARAM lParam)
{
    switch (message) {
    case WM_ENTERSIZEMOVE: {
        POINT cursor;
        RECT window;
        GetCursorPos(&cursor);
        GetWindowRect(panel_, &window);
        grab_ = {cursor.x - window.left, cursor.y - window.top};
        dragging_ = true;
        return true;
    }
    case WM_MOVING: {
        // A child is dragged with the mouse held inside its parent's client area: the point the trader
        // holds stays there, so the panel can never be dragged out of sight.
        auto* proposed = reinterpret_cast<RECT*>(lParam);
        const RECT bounds = ClientOnScreen(anchor_);
        if (!dragging_ || IsRectEmpty(&bounds))
            return true;
        const LONG heldX = std::clamp(proposed->left + grab_.x, bounds.left, bounds.right - 1);
        const LONG heldY = std::clamp(proposed->top + grab_.y, bounds.top, bounds.bottom - 1);
        OffsetRect(proposed, heldX - grab_.x - proposed->left, heldY - grab_.y - proposed->top);
        return true;
    }
    case WM_EXITSIZEMOVE:
        Follow(true);  // takes the place it was let go at
        dragging_ = false;
        return true;
    default:
        return false;
    }
}

TerminalDisabled::TerminalDisabled(const ChartOverlay& overlay)
{
    const HWND terminal = overlay.terminal();
    if (terminal && IsWindowEnabled(terminal)) {
        EnableWindow(terminal, FALSE);
        terminal_ = terminal;
    }
}

TerminalDisabled::~TerminalDisabled()
{
    if (terminal_ && IsWindow(terminal_))
        EnableWindow(terminal_, TRUE);
}

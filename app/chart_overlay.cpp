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

bool Ours(HWND window)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId();
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
// and of each ancestor, less the visible windows above each of them. Empty when one of them is minimized.
// panelAbove tells whether the panel is above the terminal's top-level window in the z-order.
void VisibleArea(HWND anchor, HWND panel, HRGN area, HRGN scratch, bool& panelAbove)
{
    SetRectRgn(area, 0, 0, 0, 0);
    panelAbove = false;
    if (!IsWindowVisible(anchor))
        return;
    bool first = true;
    for (HWND window = anchor; window; window = ParentWindow(window)) {
        if (IsIconic(window)) {
            SetRectRgn(area, 0, 0, 0, 0);
            return;
        }
        const RECT client = ClientOnScreen(window);
        if (first)
            SetRectRgn(area, client.left, client.top, client.right, client.bottom);
        else
            Combine(area, scratch, client, RGN_AND);
        first = false;
        // Above the terminal's top-level window the panel and its dialogs cover nothing of the child.
        const bool topLevel = !ParentWindow(window);
        for (HWND above = GetWindow(window, GW_HWNDPREV); above; above = GetWindow(above, GW_HWNDPREV)) {
            if (above == panel) {
                panelAbove = true;
                continue;
            }
            if (!IsWindowVisible(above) || (topLevel && Ours(above)))
                continue;
            RECT covered;
            if (GetWindowRect(above, &covered))
                Combine(area, scratch, covered, RGN_DIFF);
        }
    }
}

// The one overlay of the process, for the terminal's window events.
ChartOverlay* following = nullptr;

void CALLBACK OnTerminalEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD)
{
    if (following)
        following->Follow();
}

}  // namespace

bool NeedsChartOverlay(HWND chart)
{
    DWORD process = 0;
    GetWindowThreadProcessId(chart, &process);
    return UnderWine() && process != GetCurrentProcessId() && !ChildForced();
}

HWND ChartOverlay::terminal() const
{
    return panel_ ? GetWindow(panel_, GW_OWNER) : nullptr;
}

void ChartOverlay::Start(HWND panel, HWND anchor, POINT position)
{
    panel_ = panel;
    scratch_.reset(CreateRectRgn(0, 0, 0, 0));
    // Wine raises the terminal's window above the windows it owns only when they are its own. Whenever
    // its windows come, go or take the focus (a click on the chart), the panel is raised again at once
    // instead of at the next tick; every other change is followed on the tick.
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
    position_ = position;
    Follow();
}

bool ChartOverlay::Follow()
{
    if (!IsWindow(anchor_))
        return false;
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
    bool panelAbove = false;
    VisibleArea(anchor_, panel_, area, scratch_, panelAbove);
    Combine(area, scratch_, {corner.x, corner.y, corner.x + window.right - window.left, corner.y + window.bottom - window.top},
            RGN_AND);
    RECT box;
    if (GetRgnBox(area, &box) == NULLREGION) {
        Hide();
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
    if (!moved && shown && panelAbove) {
        if (reshaped)
            RedrawNow();
        return true;
    }
    // Raised only when the terminal's window came above it; never activated.
    UINT flags = SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    if (!moved)
        flags |= SWP_NOMOVE;
    if (!shown)
        flags |= SWP_SHOWWINDOW;
    if (panelAbove)
        flags |= SWP_NOZORDER;
    SetWindowPos(panel_, HWND_TOP, corner.x, corner.y, 0, 0, flags);
    RedrawNow();
    return true;
}

void ChartOverlay::RedrawNow()
{
    // A new shape or place loses what was shown: drawn again at once, not a tick later.
    RedrawWindow(panel_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void ChartOverlay::Hide()
{
    if (IsWindowVisible(panel_))
        SetWindowPos(panel_, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
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
        Follow();  // takes the place it was let go at
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

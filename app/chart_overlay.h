// Under wine a child window whose top-level window belongs to another process is never drawn. There the
// panel stands in for the child: a top-level window owned by the terminal's top-level window, kept over
// the place the child would have and clipped to what the child would show.
#pragma once

#include <windows.h>

#include "win/win_handles.h"

// True when the panel must stand in for a child of this chart: under wine, with the chart in another
// process, unless the environment variable PANEL_AS_CHILD is 1, which keeps the real child.
bool NeedsChartOverlay(HWND chart);

class ChartOverlay {
public:
    ChartOverlay() = default;
    ChartOverlay(const ChartOverlay&) = delete;
    ChartOverlay& operator=(const ChartOverlay&) = delete;
    ~ChartOverlay();

    bool active() const { return panel_ != nullptr; }
    // The window the panel is the stand-in child of: the chart, or the terminal's top-level window.
    HWND anchor() const { return anchor_; }
    // The terminal's top-level window, which owns the panel.
    HWND terminal() const { return terminal_; }

    // From now on the panel stands in for a child of anchor at position (anchor's client coordinates).
    void Start(HWND panel, HWND anchor, POINT position);
    // The pin: the stand-in child of another window, at a position in its client coordinates.
    void MoveInto(HWND anchor, POINT position);
    // One refresh tick: the panel follows the anchor's place, clipping and visibility; thorough looks at
    // the whole window tree whatever the quick look says. Once the anchor has gone the panel is destroyed,
    // as the child would have gone with it, and the result is false.
    bool Follow(bool thorough = false);
    // Whenever the terminal's windows come, go or take the focus.
    void OnTerminalEvent();
    // Before a fatal report: no more following, and the terminal enabled again if a dialog of the panel
    // had disabled it (the report ends the process, so the dialog's guard never runs).
    void Stop();

    // The panel's window is being destroyed: what was set on it for the other panels goes first.
    void OnPanelDestroyed() const;

    // The trader's drag by the panel's surface, done here rather than by the window manager, which would
    // let the panel leave the chart; true when the message was one of the drag's.
    bool OnDragMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The terminal's window is disabled by a modal dialog of the terminal's own: a child of that window
    // would take no input then.
    bool TerminalBusy() const;
    // The trader's pointer is over the panel.
    bool UnderCursor() const;

private:
    friend class TerminalDisabled;

    void Place(bool placed);
    void Hide(bool placed);
    void Settle();
    void RedrawNow();
    void Destroy();
    void DragTo(POINT cursor);
    bool IsOtherStandIn(HWND window) const;
    bool IsPinnedStandIn(HWND window) const;
    bool SitsRightAboveTerminal() const;
    HWND RightAboveTerminal() const;

    // Quiet ticks between two whole looks, for what the quick look cannot see (a window hidden): 2 s.
    static constexpr int quietTicksBetweenLooks = 20;
    // Ticks that take the whole look after one of the terminal's window events: 0.5 s.
    static constexpr int ticksLookingAfterEvents = 5;

    // The property that marks a pinned panel for the other panels of the terminal.
    static constexpr const wchar_t* pinnedProperty = L"Pellantix.Pinned";

    HWND panel_ = nullptr;
    bool pinned_ = false;
    HWND terminal_ = nullptr;
    DWORD terminalProcess_ = 0;
    HWND anchor_ = nullptr;
    HWND anchorParent_ = nullptr;
    RECT lastAnchorRect_ = {};
    HWND lastTop_ = nullptr;  // the top one of the anchor's parent and its siblings at the last whole look
    RECT lastTopRect_ = {};  // where that one was, when it was another than the anchor's parent
    RECT lastTerminalRect_ = {};  // the terminal's top-level window at the last whole look
    RECT lastPanelRect_ = {};  // where the panel was left by the last whole look
    HWND lastBelow_ = nullptr;  // the window right below the panel after the last whole look
    int quietTicks_ = 0;
    int lookingTicks_ = 0;
    int settlingTicks_ = 0;
    POINT position_ = {};
    bool dragging_ = false;
    POINT grab_ = {};  // the cursor's offset from the panel's corner while dragging
    bool terminalDisabled_ = false;  // by one of the panel's dialogs
    bool stopped_ = false;
    win::UniqueRegion shownRegion_;  // the last region given to the panel, in window coordinates
    win::UniqueRegion scratch_;
    win::UniqueWinEventHook terminalEvents_;
};

// While it lives the terminal takes no input, as when a child's modal dialog disables the child's
// top-level window; nothing unless the panel stands in for a child. It enables the terminal again only when
// it was the one that disabled it.
class TerminalDisabled {
public:
    explicit TerminalDisabled(ChartOverlay& overlay);
    TerminalDisabled(const TerminalDisabled&) = delete;
    TerminalDisabled& operator=(const TerminalDisabled&) = delete;
    ~TerminalDisabled();

private:
    ChartOverlay* overlay_ = nullptr;  // set only when this guard disabled the terminal
};

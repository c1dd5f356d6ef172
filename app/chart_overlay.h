// Under wine a child window whose top-level window belongs to another process is never drawn. There the
// panel stands in for the child: a top-level window owned by the terminal's top-level window, kept over
// the place the child would have and clipped to what the child would show.
#pragma once

#include <windows.h>

#include "ui/win_handles.h"

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
    // the whole window tree whatever the quick look says. False once the anchor has gone, as the child
    // would have gone with it.
    bool Follow(bool thorough = false);
    // The trader's drag by the panel's surface; true when the message was one of the drag's.
    bool OnDragMessage(UINT message, LPARAM lParam);

private:
    void Hide(bool placed);
    void RedrawNow();
    HWND RightAboveTerminal() const;

    // Quiet ticks between two whole looks, for what the quick look cannot see (a window hidden): 2 s.
    static constexpr int quietTicksBetweenLooks = 20;

    HWND panel_ = nullptr;
    HWND terminal_ = nullptr;
    HWND anchor_ = nullptr;
    HWND anchorParent_ = nullptr;
    RECT lastAnchorRect_ = {};
    HWND lastAbove_ = nullptr;  // the window above the anchor's parent at the last whole look
    int quietTicks_ = 0;
    POINT position_ = {};
    bool dragging_ = false;
    POINT grab_ = {};  // the cursor's offset from the panel's corner while dragging
    win::UniqueRegion shownRegion_;  // the last region given to the panel, in window coordinates
    win::UniqueRegion scratch_;
    win::UniqueWinEventHook terminalEvents_;
};

// While it lives the terminal takes no input, as when a child's modal dialog disables the child's
// top-level window; nothing unless the panel stands in for a child.
class TerminalDisabled {
public:
    explicit TerminalDisabled(const ChartOverlay& overlay);
    TerminalDisabled(const TerminalDisabled&) = delete;
    TerminalDisabled& operator=(const TerminalDisabled&) = delete;
    ~TerminalDisabled();

private:
    HWND terminal_ = nullptr;  // set only when this guard disabled it
};

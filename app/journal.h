// The panel's journal: one line for each step of each command, appended to a file of the day that every
// panel of the user shares, so that a trader and a broker can tell what the panel sent and what came back.
// It holds nothing secret and nothing that names the trader: no identity hash, no key, no reply beyond the
// command's Type.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>

#include "win/win_handles.h"

// The journal's folder: PANEL_JOURNAL_FOLDER when set, otherwise "Pellantix\journal" in the user's local
// application data (LOCALAPPDATA); none without either.
std::wstring JournalFolder();

// One line as it goes into the file: "<UTC time> pid=<process> <event>" and CR LF, the event's control
// characters made spaces so that one event is always one line.
std::string JournalLine(const SYSTEMTIME& utc, DWORD process, std::string_view event);
// A text as a field's value: quoted, its quotes made single ones, its control characters spaces, at most
// maxChars characters long (a longer one ends in "...").
std::string JournalText(std::string_view text, size_t maxChars = 160);
// The same for UTF-16 text, taken to UTF-8 first.
std::string JournalText(std::wstring_view text, size_t maxChars = 160);

class Journal {
public:
    // The folder is made when missing; a journal that cannot be opened writes nothing, and trading goes on.
    explicit Journal(std::wstring folder = JournalFolder());
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Appends the event with the time and the process, in one write of a whole line: lines of several panels
    // never mix, and a line is in the file (in the system's cache) once this returns, whatever then becomes
    // of the panel. Any thread. Never throws.
    void Write(std::string_view event) noexcept;
    // The same for an event built by the caller's function: a building that runs out of memory loses the
    // line, nothing else.
    template <typename Build>
    void Note(const Build& build) noexcept
    {
        try {
            Write(build());
        } catch (...) {
        }
    }

private:
    // The file of the day (UTC) the time falls on, opened for appending.
    bool OpenFor(const SYSTEMTIME& utc);

    static constexpr DWORD turnBoundMs = 50;

    std::mutex mutex_;
    std::wstring folder_;
    win::UniqueHandleObject writing_;  // the session's panels' turn to write
    win::UniqueHandleObject file_;
    WORD year_ = 0, month_ = 0, day_ = 0;
};

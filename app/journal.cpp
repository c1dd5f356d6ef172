#include "app/journal.h"

#include <cstdio>

std::wstring JournalFolder()
{
    // The environment's folders, not the shell's: loading the shell's library would cost every panel's
    // start-up a tenth of a second under wine. Every user session has LOCALAPPDATA.
    wchar_t folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"PANEL_JOURNAL_FOLDER", folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        return folder;
    length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        return std::wstring(folder) + L"\\Pellantix\\journal";
    return {};
}

std::string JournalLine(const SYSTEMTIME& utc, DWORD process, std::string_view event)
{
    char head[64];
    const int length = std::snprintf(head, sizeof head, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ pid=%lu ", utc.wYear,
                                     utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds,
                                     static_cast<unsigned long>(process));
    std::string line(head, length > 0 ? static_cast<size_t>(length) : 0);
    for (const char c : event)
        line += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    line += "\r\n";
    return line;
}

std::string JournalText(std::string_view text, size_t maxChars)
{
    std::string value = "\"";
    size_t chars = 0;
    for (const char c : text) {
        // A character is counted, and the text cut, at its first byte: a UTF-8 sequence is never cut in two.
        if ((static_cast<unsigned char>(c) & 0xc0) != 0x80 && chars++ == maxChars) {
            value += "...";
            break;
        }
        value += c == '"' ? '\'' : static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    }
    return value + "\"";
}

std::string JournalText(std::wstring_view text, size_t maxChars)
{
    std::string utf8;
    if (!text.empty()) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
        if (size > 0) {
            utf8.resize(static_cast<size_t>(size));
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                                nullptr);
        }
    }
    return JournalText(utf8, maxChars);
}

Journal::Journal(std::wstring folder)
    : folder_(std::move(folder)), writing_(CreateMutexW(nullptr, FALSE, L"Local\\Pellantix.Journal"))
{
}

bool Journal::OpenFor(const SYSTEMTIME& utc)
{
    if (file_ && utc.wYear == year_ && utc.wMonth == month_ && utc.wDay == day_)
        return true;
    file_.reset();
    if (folder_.empty())
        return false;
    // The folder and its parent, when missing (the first panel of the user).
    const size_t parent = folder_.find_last_of(L"\\/");
    if (parent != std::wstring::npos)
        CreateDirectoryW(folder_.substr(0, parent).c_str(), nullptr);
    CreateDirectoryW(folder_.c_str(), nullptr);
    wchar_t name[32];
    std::swprintf(name, 32, L"\\%04u-%02u-%02u.log", utc.wYear, utc.wMonth, utc.wDay);
    // Appending only: each write lands at the end, whoever else appends meanwhile.
    const HANDLE file = CreateFileW((folder_ + name).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    file_.reset(file);
    year_ = utc.wYear;
    month_ = utc.wMonth;
    day_ = utc.wDay;
    return true;
}

void Journal::Write(std::string_view event) noexcept
{
    try {
        SYSTEMTIME utc;
        GetSystemTime(&utc);
        const std::string line = JournalLine(utc, GetCurrentProcessId(), event);
        const std::lock_guard lock(mutex_);
        if (!OpenFor(utc))
            return;
        // Appending is one step on Windows; wine finds the end and writes in two, so two panels could write
        // over each other's line. The panels of the session take turns: a write holds the turn for
        // microseconds, and a turn not had within its bound (a panel stopped while holding it) is taken
        // anyway rather than losing the line of a request.
        const DWORD turn = writing_ ? WaitForSingleObject(writing_.get(), turnBoundMs) : WAIT_FAILED;
        DWORD written = 0;
        WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        if (turn == WAIT_OBJECT_0 || turn == WAIT_ABANDONED)
            ReleaseMutex(writing_.get());
    } catch (...) {
        // No memory or no lock: the line is lost, the trading goes on.
    }
}

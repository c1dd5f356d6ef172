// The named shared-memory areas through which the panel and the terminal's expert exchange their two
// documents. Each operation opens the area, copies the whole text in or out and closes it again.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

constexpr DWORD SHARED_AREA_SIZE = 500;

// prefix, the process id as signed decimal, ".xml"
std::wstring AreaName(const wchar_t* prefix, DWORD processId);
// The symbol document the expert writes for this panel: "TarnInfo_<pid>.xml".
std::wstring infoDocumentName();
// The order command document the panel writes for the expert: "TarnOrders_<pid>.xml".
std::wstring orderDocumentName();

// The area's text up to its first zero byte (all of it when there is none); empty when the area cannot
// be opened or viewed.
std::wstring ReadSharedText(const std::wstring& name);
// Replaces the area's text; a text longer than the area is cut to its size, without terminator. False when
// the area cannot be opened or viewed, or the text has no 8-bit form (the area then holds empty text).
bool WriteSharedText(const std::wstring& name, const std::wstring& text);
// True when the text's 8-bit form fits an area with its terminator (a text without one writes as empty).
bool FitsSharedArea(const std::wstring& text);

// The text in an area's bytes: up to the first zero byte.
std::string_view TextInArea(const char* area, size_t size);

// Text leaves the panel as 8-bit text in the thread's ANSI code page: in the shared areas, the service's
// fields, hashed text and the decoded reply. These are the one place each way that converts.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

// The 8-bit form, sized by asking the conversion; characters the code page lacks become its default
// character. Nothing when the conversion fails.
std::optional<std::string> ToCodePage(std::wstring_view text, UINT codePage);
// The wide form; empty when the conversion fails.
std::wstring FromCodePage(std::string_view bytes, UINT codePage);

inline std::optional<std::string> ToAnsi(std::wstring_view text) { return ToCodePage(text, CP_THREAD_ACP); }
inline std::wstring FromAnsi(std::string_view bytes) { return FromCodePage(bytes, CP_THREAD_ACP); }

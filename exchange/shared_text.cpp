#include "exchange/shared_text.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "exchange/ansi_text.h"
#include "win/win_handles.h"

namespace {

// Opens the area, or creates it when nobody holds it; an area the expert made smaller than ours cannot be
// viewed, which leaves the view null.
struct OpenArea {
    explicit OpenArea(const std::wstring& name)
        : mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, SHARED_AREA_SIZE,
                                     name.c_str()))
    {
        if (mapping)
            view.reset(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, SHARED_AREA_SIZE));
    }
    char* bytes() const { return static_cast<char*>(view.get()); }

    win::UniqueHandleObject mapping;
    win::UniqueView view;
};

}  // namespace

std::wstring AreaName(const wchar_t* prefix, DWORD processId)
{
    return prefix + std::to_wstring(static_cast<int>(processId)) + L".xml";
}

std::wstring infoDocumentName() { return AreaName(L"TarnInfo_", GetCurrentProcessId()); }

std::wstring orderDocumentName() { return AreaName(L"TarnOrders_", GetCurrentProcessId()); }

std::string_view TextInArea(const char* area, size_t size)
{
    const auto* end = static_cast<const char*>(std::memchr(area, 0, size));
    return std::string_view(area, end ? static_cast<size_t>(end - area) : size);
}

std::wstring ReadSharedText(const std::wstring& name)
{
    std::array<char, SHARED_AREA_SIZE> copy;
    {
        OpenArea area(name);
        if (!area.view)
            return {};
        // The expert rewrites the area at any time: take one copy and let go of the view at once.
        std::memcpy(copy.data(), area.bytes(), copy.size());
    }
    return FromAnsi(TextInArea(copy.data(), copy.size()));
}

bool FitsSharedArea(const std::wstring& text)
{
    const std::optional<std::string> bytes = ToAnsi(text);
    return !bytes || bytes->size() < SHARED_AREA_SIZE;  // room for the zero byte
}

bool WriteSharedText(const std::wstring& name, const std::wstring& text)
{
    // Converted before the area is opened: nothing that can fail comes between the first and last byte
    // written.
    const std::optional<std::string> bytes = ToAnsi(text);
    OpenArea area(name);
    if (!area.view)
        return false;
    // A text without an 8-bit form leaves no command behind: the expert finds an empty document rather
    // than the previous one.
    const char* written = bytes ? bytes->c_str() : "";
    const size_t length = std::min<size_t>(std::strlen(written) + 1, SHARED_AREA_SIZE);  // with its zero byte
    std::memcpy(area.bytes(), written, length);
    // Nothing of a longer previous text stays behind the terminator.
    std::memset(area.bytes() + length, 0, SHARED_AREA_SIZE - length);
    return bytes.has_value();
}

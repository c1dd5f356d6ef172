#include "exchange/ansi_text.h"

std::optional<std::string> ToCodePage(std::wstring_view text, UINT codePage)
{
    if (text.empty())
        return std::string();
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::nullopt;
    std::string bytes(size, '\0');
    if (WideCharToMultiByte(codePage, 0, text.data(), length, bytes.data(), size, nullptr, nullptr) != size)
        return std::nullopt;
    return bytes;
}

std::wstring FromCodePage(std::string_view bytes, UINT codePage)
{
    if (bytes.empty())
        return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring text(size, L'\0');
    if (MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), size) != size)
        return {};
    return text;
}

#include <gtest/gtest.h>

#include <string>

#include "win/fatal_error.h"

namespace {

std::wstring Format(size_t chars, const wchar_t* context, int code, const wchar_t* systemText,
                    bool orderUnderWay = false)
{
    std::wstring buffer(chars + 4, L'#');  // guard characters past the end must survive
    FormatFatalMessage(buffer.data(), chars, context, code, systemText, orderUnderWay);
    EXPECT_EQ(buffer.substr(chars), L"####") << "written past the buffer";
    return buffer.c_str();
}

}  // namespace

TEST(FatalMessage, FillsTheFormatWithSignedCode)
{
    EXPECT_EQ(Format(100, L"ResetWindowPos", 1400, L"Invalid window handle.\r\n"),
              L"ResetWindowPos failed with error 1400: Invalid window handle.\r\n");
    EXPECT_EQ(Format(100, L"X", -2147024891, L""), L"X failed with error -2147024891: ");
}

TEST(FatalMessage, CutsAtTheEndOfTheBufferWithTerminator)
{
    EXPECT_EQ(Format(12, L"CBaseWindow::GetMemDC", 8, L"Not enough memory."), L"CBaseWindow");
    EXPECT_EQ(Format(1, L"A", 1, L"B"), L"");
}

TEST(FatalMessage, BufferSizedAsTheReporterSizesItNeverCuts)
{
    // The longest code, with the line an order under way adds: nothing cut.
    const std::wstring context = L"Cant change Chart window style";
    const std::wstring system = L"Some text.\r\n";
    const std::wstring text = Format(FatalMessageChars(context.c_str(), system.c_str()), context.c_str(),
                                     -2147483647 - 1, system.c_str(), true);
    EXPECT_EQ(text.substr(0, text.find(L"\r\n\r\n")), context + L" failed with error -2147483648: Some text.");
    EXPECT_NE(text.find(L"Check the terminal's trades."), std::wstring::npos) << "the pending line was cut";
}

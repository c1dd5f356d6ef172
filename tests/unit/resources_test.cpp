// The panel's resources as the program carries them: read from panel.exe itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "panel_version.h"
#include "res/resource.h"

namespace {

std::wstring PanelPath()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"panel.exe";
}

class Resources : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module = LoadLibraryExW(PanelPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr);
    }
    static void TearDownTestSuite() { FreeLibrary(module); }

    static std::wstring String(UINT id)
    {
        wchar_t text[200] = {};
        LoadStringW(module, id, text, 200);
        return text;
    }

    // The bitmap's pixels as 32-bit BGRA rows, top row first.
    struct Pixels {
        int width = 0, height = 0, bitsPerPixel = 0;
        std::vector<RGBQUAD> data;
        RGBQUAD at(int x, int y) const { return data[y * width + x]; }
        bool white(int x, int y) const
        {
            const RGBQUAD p = at(x, y);
            return p.rgbRed == 255 && p.rgbGreen == 255 && p.rgbBlue == 255;
        }
    };
    static Pixels Bitmap(UINT id)
    {
        Pixels pixels;
        const HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                                                               LR_CREATEDIBSECTION));
        if (!bitmap)
            return pixels;
        DIBSECTION section = {};
        GetObjectW(bitmap, sizeof section, &section);
        pixels.width = section.dsBm.bmWidth;
        pixels.height = section.dsBm.bmHeight;
        pixels.bitsPerPixel = section.dsBm.bmBitsPixel;
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), pixels.width, -pixels.height, 1, 32, BI_RGB};
        pixels.data.resize(pixels.width * pixels.height);
        const HDC dc = GetDC(nullptr);
        GetDIBits(dc, bitmap, 0, pixels.height, pixels.data.data(), &info, DIB_RGB_COLORS);
        ReleaseDC(nullptr, dc);
        DeleteObject(bitmap);
        return pixels;
    }
    // Average colour of the pixels that are not white.
    static std::tuple<int, int, int> AverageColour(const Pixels& pixels)
    {
        long r = 0, g = 0, b = 0, n = 0;
        for (int y = 0; y < pixels.height; ++y)
            for (int x = 0; x < pixels.width; ++x)
                if (!pixels.white(x, y)) {
                    r += pixels.at(x, y).rgbRed;
                    g += pixels.at(x, y).rgbGreen;
                    b += pixels.at(x, y).rgbBlue;
                    ++n;
                }
        return n ? std::make_tuple(int(r / n), int(g / n), int(b / n)) : std::make_tuple(0, 0, 0);
    }
    static bool AllWhite(const Pixels& pixels, int left, int top, int width, int height)
    {
        for (int y = top; y < top + height; ++y)
            for (int x = left; x < left + width; ++x)
                if (!pixels.white(x, y))
                    return false;
        return true;
    }

    static HMODULE module;
};
HMODULE Resources::module = nullptr;

void ExpectNear(std::tuple<int, int, int> actual, std::tuple<int, int, int> expected, int tolerance = 12)
{
    EXPECT_NEAR(std::get<0>(actual), std::get<0>(expected), tolerance);
    EXPECT_NEAR(std::get<1>(actual), std::get<1>(expected), tolerance);
    EXPECT_NEAR(std::get<2>(actual), std::get<2>(expected), tolerance);
}

}  // namespace

TEST_F(Resources, StringTableHoldsClassNamesAndTexts)
{
    EXPECT_EQ(String(104), L"CLOSE_BUTTON");
    EXPECT_EQ(String(105), L"PIN_BUTTON");
    EXPECT_EQ(String(106), L"SELL_BUTTON");
    EXPECT_EQ(String(107), L"BUY_BUTTON");
    EXPECT_EQ(String(108), L"CLIENT_AREA");
    EXPECT_EQ(String(109), L"PELLANTIX");
    EXPECT_EQ(String(110), L"SPREAD_WINDOW");
    EXPECT_EQ(String(111), L"ComboBox");
    EXPECT_EQ(String(112), L"ButtonLabel");
    EXPECT_EQ(String(113), L"");
    EXPECT_EQ(String(114), L"BUTTON");
    EXPECT_EQ(String(601), L"Set SL&&TP for Market Execution");
    EXPECT_EQ(String(602), L"SL");
    EXPECT_EQ(String(603), L"TP");
}

TEST_F(Resources, BitmapsHaveTheirSizesAndDepths)
{
    const struct {
        UINT id;
        int width, height, bits;
    } expected[] = {{501, 20, 15, 24}, {502, 20, 15, 24}, {503, 75, 58, 24}, {505, 75, 58, 24},
                    {506, 75, 58, 24}, {507, 75, 58, 24}, {508, 45, 10, 24}, {509, 24, 24, 24},
                    {511, 150, 10, 24}, {512, 13, 13, 24}, {513, 13, 13, 24}, {514, 13, 13, 1}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        const Pixels pixels = Bitmap(e.id);
        EXPECT_EQ(pixels.width, e.width);
        EXPECT_EQ(pixels.height, e.height);
        EXPECT_EQ(pixels.bitsPerPixel, e.bits);
    }
}

TEST_F(Resources, PriceTilesAreColouredWithAWhiteCornerUnderTheirNotch)
{
    const Pixels sell = Bitmap(IDB_SELL), sellPressed = Bitmap(IDB_SELL_PRESSED);
    const Pixels buy = Bitmap(IDB_BUY), buyPressed = Bitmap(IDB_BUY_PRESSED);
    ASSERT_EQ(sell.width, 75);
    ASSERT_EQ(buy.width, 75);
    ExpectNear(AverageColour(sell), {194, 41, 39});
    ExpectNear(AverageColour(sellPressed), {147, 23, 22});
    ExpectNear(AverageColour(buy), {39, 146, 72});
    ExpectNear(AverageColour(buyPressed), {20, 108, 52});
    for (const Pixels* tile : {&sell, &sellPressed}) {
        EXPECT_TRUE(AllWhite(*tile, 75 - 38, 58 - 22, 38, 22));
        EXPECT_FALSE(tile->white(75 - 39, 57));
        EXPECT_FALSE(tile->white(74, 58 - 23));
    }
    for (const Pixels* tile : {&buy, &buyPressed}) {
        EXPECT_TRUE(AllWhite(*tile, 0, 58 - 22, 38, 22));
        EXPECT_FALSE(tile->white(38, 57));
        EXPECT_FALSE(tile->white(0, 58 - 23));
    }
}

TEST_F(Resources, ArrowsHaveWhiteCornersAndTheMaskClearsOnlyThem)
{
    for (UINT id : {IDB_ARROW_DOWN, IDB_ARROW_UP}) {
        const Pixels arrow = Bitmap(id);
        ASSERT_EQ(arrow.width, 13);
        EXPECT_TRUE(arrow.white(0, 0) && arrow.white(12, 0) && arrow.white(0, 12) && arrow.white(12, 12));
    }
    // The down arrow is red, the up arrow green.
    const auto [downR, downG, downB] = AverageColour(Bitmap(IDB_ARROW_DOWN));
    EXPECT_GT(downR, downG);
    const auto [upR, upG, upB] = AverageColour(Bitmap(IDB_ARROW_UP));
    EXPECT_GT(upG, upR);

    const Pixels mask = Bitmap(IDB_ARROW_MASK);
    ASSERT_EQ(mask.width, 13);
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 13; ++x) {
            const bool corner = (x == 0 || x == 12) && (y == 0 || y == 12);
            EXPECT_EQ(mask.white(x, y), !corner) << x << "," << y;
        }
}

TEST_F(Resources, SpreadStripHasRedLeftAndGreenRightCorners)
{
    const Pixels spread = Bitmap(IDB_SPREAD);
    ASSERT_EQ(spread.width, 45);
    for (int y : {0, 9}) {
        EXPECT_GT(spread.at(0, y).rgbRed, 150);
        EXPECT_LT(spread.at(0, y).rgbGreen, 100);
        EXPECT_GT(spread.at(44, y).rgbGreen, 120);
        EXPECT_LT(spread.at(44, y).rgbRed, 100);
    }
    ExpectNear({spread.at(22, 5).rgbRed, spread.at(22, 5).rgbGreen, spread.at(22, 5).rgbBlue}, {233, 237, 237}, 4);
    const Pixels close = Bitmap(IDB_CLOSE_BUTTON);
    ExpectNear({close.at(1, 1).rgbRed, close.at(1, 1).rgbGreen, close.at(1, 1).rgbBlue}, {217, 217, 219}, 4);
}

TEST_F(Resources, IconsHoldEightImagesEach)
{
    const std::set<std::tuple<int, int>> formats = {{32, 4}, {16, 4}, {32, 8}, {16, 8},
                                                    {48, 8}, {32, 32}, {16, 32}, {48, 32}};
    for (UINT id : {IDI_PANEL, IDI_PANEL_SMALL}) {
        SCOPED_TRACE(id);
        const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
        ASSERT_NE(resource, nullptr);
        const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
        const WORD count = *reinterpret_cast<const WORD*>(group + 4);
        EXPECT_EQ(count, 8);
        std::set<std::tuple<int, int>> found;
        for (WORD i = 0; i < count; ++i) {
            const BYTE* entry = group + 6 + 14 * i;  // width, height, colours, reserved, planes, bit count, ...
            found.insert({entry[0], *reinterpret_cast<const WORD*>(entry + 6)});
        }
        EXPECT_EQ(found, formats);
    }
}

TEST_F(Resources, MenuHasFileWithExit)
{
    const HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(IDM_PANEL));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    wchar_t text[64] = {};
    GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&Файл");
    const HMENU file = GetSubMenu(menu, 0);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(GetMenuItemCount(file), 1);
    EXPECT_EQ(GetMenuItemID(file, 0), static_cast<UINT>(IDM_EXIT));
    GetMenuStringW(file, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"В&ыход");
    DestroyMenu(menu);
}

namespace {

struct ExpectedControl {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    RECT units;  // x, y, width, height in dialog units
    DWORD styleBits;  // must be set
};

struct ExpectedDialog {
    UINT id;
    const wchar_t* caption;
    SIZE units;
    DWORD style;
    DWORD exStyle;
    std::vector<ExpectedControl> controls;
};

const DWORD commonDialogStyle =
    DS_SETFONT | DS_FIXEDSYS | DS_MODALFRAME | DS_CENTER | DS_3DLOOK | DS_SYSMODAL | WS_CAPTION | WS_SYSMENU;

// The styles the template asks for, read from its DLGTEMPLATEEX header.
std::pair<DWORD, DWORD> TemplateStyles(HMODULE module, UINT id)
{
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
    if (!resource)
        return {0, 0};
    const auto* header = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    // dlgVer, signature, helpID, exStyle, style
    return {*reinterpret_cast<const DWORD*>(header + 8), *reinterpret_cast<const DWORD*>(header + 12)};
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

}  // namespace

TEST_F(Resources, DialogsMatchTheirTables)
{
    const std::vector<ExpectedDialog> dialogs = {
        {IDD_CLOSE_ALL, L"Warning", {254, 63}, commonDialogStyle | DS_ABSALIGN, WS_EX_WINDOWEDGE,
         {{3, L"Button", L"Close All Deals (Current)", {7, 42, 90, 14}, WS_TABSTOP | WS_VISIBLE},
          {IDCANCEL, L"Button", L"Cancel", {102, 42, 50, 14}, WS_TABSTOP | WS_VISIBLE | BS_DEFPUSHBUTTON | BS_CENTER},
          {1014, L"Button", L"Close ALL Deals", {157, 42, 90, 14}, WS_TABSTOP | WS_VISIBLE},
          {-1, L"Static", L"Do you want to Close All your Deals?", {7, 7, 240, 24}, WS_GROUP | WS_VISIBLE | SS_CENTER}}},
        {IDD_CONFIRM_CLOSE_ALL, L"Confirmation", {188, 72}, commonDialogStyle | DS_ABSALIGN | WS_POPUP,
         WS_EX_WINDOWEDGE | WS_EX_STATICEDGE,
         {{IDCANCEL, L"Button", L"Cancel", {49, 51, 50, 14}, WS_TABSTOP | WS_VISIBLE | BS_DEFPUSHBUTTON},
          {1016, L"Button", L"Close ALL Deals", {106, 51, 75, 14}, WS_TABSTOP | WS_VISIBLE},
          {-1, L"Static", L"Do you want to close ALL your opened deals?", {7, 7, 174, 24},
           WS_GROUP | WS_VISIBLE | SS_CENTER}}},
        {IDD_EXECUTING, L"Executing", {160, 75}, commonDialogStyle | WS_POPUP, 0,
         {{1017, L"Static", L"Executing", {7, 7, 146, 11}, WS_GROUP | WS_VISIBLE},
          {1018, L"Static", L"        ", {7, 22, 146, 31}, WS_GROUP | WS_VISIBLE},
          {IDCANCEL, L"Button", L"Cancel", {103, 54, 50, 14}, WS_TABSTOP | WS_VISIBLE}}},
    };
    for (const ExpectedDialog& wanted : dialogs) {
        SCOPED_TRACE(wanted.id);
        const auto [exStyle, style] = TemplateStyles(module, wanted.id);
        EXPECT_EQ(style, wanted.style);
        EXPECT_EQ(exStyle, wanted.exStyle);

        const HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(wanted.id), nullptr, QuietDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        wchar_t text[128] = {};
        GetWindowTextW(dialog, text, 128);
        EXPECT_STREQ(text, wanted.caption);
        RECT size = {0, 0, wanted.units.cx, wanted.units.cy};
        MapDialogRect(dialog, &size);
        RECT client;
        GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);

        int controls = 0;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            ++controls;
        EXPECT_EQ(controls, static_cast<int>(wanted.controls.size()));
        for (const ExpectedControl& c : wanted.controls) {
            SCOPED_TRACE(testing::Message() << "control " << c.id);
            HWND control = nullptr;
            for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                GetWindowTextW(child, text, 128);
                if ((GetDlgCtrlID(child) & 0xFFFF) == (c.id & 0xFFFF) && lstrcmpW(text, c.text) == 0)
                    control = child;
            }
            ASSERT_NE(control, nullptr);
            GetClassNameW(control, text, 128);
            EXPECT_STREQ(text, c.className);
            EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)) & c.styleBits, c.styleBits);
            // Position and size are scaled one by one, as the dialog manager does.
            RECT expected = c.units;
            MapDialogRect(dialog, &expected);
            expected.right += expected.left;
            expected.bottom += expected.top;
            RECT actual;
            GetWindowRect(control, &actual);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_TRUE(EqualRect(&actual, &expected))
                << actual.left << "," << actual.top << "," << actual.right << "," << actual.bottom;
        }
        DestroyWindow(dialog);
    }
}

TEST_F(Resources, ManifestSelectsCommonControlsSix)
{
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(resource, nullptr);
    const auto* text = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    const std::string manifest(text, SizeofResource(module, resource));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
}

TEST(Version, CarriesTheTreesVersionTheCommitBuiltAndTheLicence)
{
    const std::wstring path = PanelPath();
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), PANEL_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), PANEL_VERSION_MINOR);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), PANEL_VERSION_PATCH);
    const auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT chars = 0;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        return VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars) && value
                   ? std::wstring(value)
                   : std::wstring();
    };
    const std::string version = PANEL_VERSION_TEXT, commit = PANEL_COMMIT_TEXT;
    EXPECT_EQ(text(L"FileVersion"), std::wstring(version.begin(), version.end()));
    EXPECT_EQ(text(L"ProductVersion"), std::wstring(version.begin(), version.end()));
    EXPECT_EQ(text(L"Commit"), std::wstring(commit.begin(), commit.end()));
    EXPECT_EQ(commit.size(), 40u) << "a whole commit id";
    // The terms under which the gSOAP runtime it links may be handed out.
    EXPECT_NE(text(L"LegalCopyright").find(L"GNU General Public License, version 2 or later"), std::wstring::npos)
        << "the licence travels with the program";
}

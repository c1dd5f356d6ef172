// The combo boxes as the order builder reads them, on a real system combo box.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ui/combo_box.h"

namespace {

class ComboBoxTest : public testing::Test {
protected:
    void SetUp() override
    {
        parent_.hInstance = GetModuleHandleW(nullptr);  // this program carries the panel's resources too
        parent_.hWnd = CreateWindowExW(0, L"STATIC", nullptr, WS_OVERLAPPED, 0, 0, 200, 200, nullptr, nullptr,
                                       parent_.hInstance, nullptr);
        parent_.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        ASSERT_NE(parent_.hWnd, nullptr);
    }
    void TearDown() override { DestroyWindow(parent_.hWnd); }

    std::wstring Item(const CComboBox& combo, int index)
    {
        wchar_t text[64] = {};
        SendMessageW(combo.hWnd, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
        return text;
    }

    CBaseWindow parent_;
};

}  // namespace

TEST_F(ComboBoxTest, VolumeListHasItsItemsInOrderAndShowsTheFirst)
{
    CComboBox combo;
    combo.CreateComboBox(parent_, 41, 38, 71);
    combo.FillVolumeList();
    ASSERT_EQ(SendMessageW(combo.hWnd, CB_GETCOUNT, 0, 0), 28);
    EXPECT_EQ(Item(combo, 0), L"0.01");
    EXPECT_EQ(Item(combo, 8), L"0.09");
    EXPECT_EQ(Item(combo, 9), L"0.1");
    EXPECT_EQ(Item(combo, 18), L"1.0");
    EXPECT_EQ(Item(combo, 27), L"10.0");
    EXPECT_STREQ(combo.GetText(), L"0.01");
    RECT rect;
    GetWindowRect(combo.hWnd, &rect);
    EXPECT_EQ(rect.right - rect.left, 71);
}

TEST_F(ComboBoxTest, StopListStartsAtZero)
{
    CComboBox combo;
    combo.CreateComboBox(parent_, 26, 61, 49);
    combo.FillStopList();
    ASSERT_EQ(SendMessageW(combo.hWnd, CB_GETCOUNT, 0, 0), 11);
    EXPECT_EQ(Item(combo, 10), L"150");
    EXPECT_STREQ(combo.GetText(), L"0");
}

TEST_F(ComboBoxTest, TypedTextComesBackUnchangedUpTo99Characters)
{
    CComboBox combo;
    combo.CreateComboBox(parent_, 26, 61, 49);
    combo.FillStopList();
    SetWindowTextW(combo.hWnd, L"abc");
    EXPECT_STREQ(combo.GetText(), L"abc");
    SetWindowTextW(combo.hWnd, L"0.15");
    EXPECT_STREQ(combo.GetText(), L"0.15");
    const std::wstring typed(120, L'7');
    SetWindowTextW(combo.hWnd, typed.c_str());
    EXPECT_EQ(std::wstring(combo.GetText()), std::wstring(99, L'7'));
}

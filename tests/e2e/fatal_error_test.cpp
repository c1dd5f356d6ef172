// What a trader sees when the panel has to end: the error reporter's box and the exit code.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/harness.h"

using namespace harness;

namespace {

struct Report {
    std::wstring text;
    bool onlyOk = false;
    DWORD exitCode = STILL_ACTIVE;
};

Report RunProbe(const std::wstring& arguments)
{
    PanelProcess probe = PanelProcess::Launch(ProgramPath(L"fatal_error_probe.exe"),
                                              L"fatal_error_probe.exe " + arguments);
    Report report;
    const HWND box = WaitForMessageBox(probe.processId(), L"Error");
    if (box) {
        report.text = MessageBoxText(box);
        report.onlyOk = GetDlgItem(box, IDOK) && !GetDlgItem(box, IDCANCEL);
        DismissMessageBox(box);
    }
    if (!probe.wait(10000))
        TerminateProcess(probe.process(), 1);
    report.exitCode = probe.exitCode();
    return report;
}

}  // namespace

TEST(ReportFatalError, ShowsContextCodeAndSystemTextThenExitsWithTheCode)
{
    const Report report = RunProbe(L"5 CBaseWindow::GetMemDC");
    EXPECT_EQ(report.text, L"CBaseWindow::GetMemDC failed with error 5: " + SystemErrorText(5));
    EXPECT_TRUE(report.onlyOk);
    EXPECT_EQ(report.exitCode, 5u);
}

TEST(ReportFatalError, CodeZeroExitsWithZero)
{
    const Report report = RunProbe(L"0 \"Can't Get Main Window\"");
    EXPECT_EQ(report.text, L"Can't Get Main Window failed with error 0: " + SystemErrorText(0));
    EXPECT_EQ(report.exitCode, 0u);
}

TEST(ReportFatalError, CodeIsShownSignedAndACodeWithoutTextStillShowsItsNumber)
{
    const Report hresult = RunProbe(L"0x80070005 ResetWindowPos");
    EXPECT_EQ(hresult.text, L"ResetWindowPos failed with error -2147024891: " + SystemErrorText(0x80070005));
    EXPECT_EQ(hresult.exitCode, 0x80070005u);

    const Report unknown = RunProbe(L"0x20000001 ResetWindowPos");
    EXPECT_EQ(unknown.text, L"ResetWindowPos failed with error 536870913: ");
    EXPECT_EQ(unknown.exitCode, 0x20000001u);
}

TEST(ReportFatalError, BoxStaysUpAfterTheQuitMessageWasPosted)
{
    const Report report = RunProbe(L"1400 CBaseWindow::InitInstance quit-first");
    EXPECT_EQ(report.text, L"CBaseWindow::InitInstance failed with error 1400: " + SystemErrorText(1400));
    EXPECT_EQ(report.exitCode, 1400u);
}

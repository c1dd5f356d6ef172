// What a trader sees when the panel has to end: the error reporter's box and the exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/trading.h"
#include "tools/terminal/expert.h"

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

TEST(ReportFatalError, CodeZeroStillExitsAsAFailure)
{
    // 0 is the exit code of a close by the trader.
    const Report report = RunProbe(L"0 \"Can't Get Main Window\"");
    EXPECT_EQ(report.text, L"Can't Get Main Window failed with error 0: " + SystemErrorText(0));
    EXPECT_EQ(report.exitCode, 1u);
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

TEST(ReportFatalError, LastingFailureShowsOneReportWithThePanelStopped)
{
    PanelProcess probe = PanelProcess::Launch(ProgramPath(L"fatal_error_probe.exe"), L"fatal_error_probe.exe lasting");
    const HWND notAWindow = WaitForMessageBox(probe.processId(), L"Not a window handle");
    ASSERT_NE(notAWindow, nullptr);
    DismissMessageBox(notAWindow);
    const HWND box = WaitForMessageBox(probe.processId(), L"Error");
    ASSERT_NE(box, nullptr);
    Sleep(1500);  // fifteen refresh ticks, each of which would fail again
    std::pair<DWORD, int> boxes = {probe.processId(), 0};
    EnumWindows(
        [](HWND window, LPARAM context) {
            auto& [processId, count] = *reinterpret_cast<std::pair<DWORD, int>*>(context);
            DWORD owner = 0;
            wchar_t caption[16] = {};
            GetWindowThreadProcessId(window, &owner);
            GetWindowTextW(window, caption, 16);
            count += owner == processId && IsWindowVisible(window) && std::wstring(caption) == L"Error";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&boxes));
    EXPECT_TRUE(probe.running()) << "the trader can still read the report";
    EXPECT_EQ(boxes.second, 1);
    const HWND panel = FindWindowW(L"PELLANTIX", nullptr);
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(IsWindowEnabled(panel)) << "no press can place an order behind the report";
    DismissMessageBox(box);
    ASSERT_TRUE(probe.wait(10000));
    EXPECT_NE(probe.exitCode(), 0u);
}

class ReportOverADialog : public testing::TestWithParam<bool> {};

TEST_P(ReportOverADialog, ShowsAboveThePanelsDialogsWithTheTerminalEnabledAgain)
{
    // The stand-in disables the terminal itself for its dialogs; the real child's dialog does it through
    // the system, and in both the report must enable it again.
    std::optional<OverlayPanels> overlay;
    if (GetParam())
        overlay.emplace();
    TerminalHost terminal;
    PanelProcess probe =
        PanelProcess::Launch(ProgramPath(L"fatal_error_probe.exe"), ChartHandleText(terminal.chart()) + L" dialog");
    const HWND box = WaitForMessageBox(probe.processId(), L"Error");
    ASSERT_NE(box, nullptr);
    const HWND dialog = WaitForMessageBox(probe.processId(), L"Executing", 0);
    ASSERT_NE(dialog, nullptr) << "the report came while the dialog was up";
    EXPECT_TRUE(IsWindowEnabled(terminal.frame())) << "the dialog's disabling of the terminal ends before the report";

    // The dialog moved under the report's OK button: a real click there still reaches OK.
    const HWND ok = GetDlgItem(box, IDOK);
    RECT button;
    GetWindowRect(ok, &button);
    SetWindowPos(dialog, nullptr, button.left - 40, button.top - 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(WaitUntil([&] {
        RECT shown;
        GetWindowRect(dialog, &shown);
        return shown.left == button.left - 40;
    }, 2000));
    ClickCentre(ok);
    ASSERT_TRUE(probe.wait(10000)) << "OK was not reachable";
    EXPECT_NE(probe.exitCode(), 0u);
}

INSTANTIATE_TEST_SUITE_P(ReportFatalError, ReportOverADialog, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "StandIn" : "Child"; });

TEST(ReportFatalError, DuringAnExchangeComesOnceTheCommandIsHandedOnAndSaysAnOrderMayBePending)
{
    // The service answers 4 s after the request; a refresh tick fails 1 s after the press.
    ServiceRun service("late", "late");
    TerminalHost terminal;
    PanelProcess probe = PanelProcess::Launch(ProgramPath(L"fatal_error_probe.exe"),
                                              ChartHandleText(terminal.chart()) + L" exchange");
    StandInExpert expert(probe.processId(), "EURUSD");
    expert.Publish(SymbolDocument("EURUSD", "Stand-in Markets Ltd.", Quote(), Position()));
    const HWND box = WaitForMessageBox(probe.processId(), L"Error", 20000);
    ASSERT_NE(box, nullptr);
    // By the time the box shows, the service's answer is in the order area, where the expert finds it.
    const std::string command = expert.orders().Read();
    EXPECT_NE(command.find("Type="), std::string::npos) << command;
    EXPECT_EQ(service.Requests().size(), 1u);
    const std::wstring text = MessageBoxText(box);
    EXPECT_NE(text.find(L"an order may be pending"), std::wstring::npos) << std::string(text.begin(), text.end());
    DismissMessageBox(box);
    ASSERT_TRUE(probe.wait(10000));
    EXPECT_NE(probe.exitCode(), 0u);
}

TEST(ReportFatalError, ASecondFailureWhileTheFirstWaitsForTheExchangeStillHandsTheAnswerOnAndSaysTheLastWords)
{
    // As above, and a message the terminal sends the panel fails too while the first report waits.
    const std::wstring journal = FreshTempPath(L"second-failure-");
    SetEnvironmentVariableW(L"PANEL_JOURNAL_FOLDER", journal.c_str());
    ServiceRun service("late", "late");
    TerminalHost terminal;
    PanelProcess probe = PanelProcess::Launch(ProgramPath(L"fatal_error_probe.exe"),
                                              ChartHandleText(terminal.chart()) + L" exchange twice");
    SetEnvironmentVariableW(L"PANEL_JOURNAL_FOLDER", nullptr);
    StandInExpert expert(probe.processId(), "EURUSD");
    expert.Publish(SymbolDocument("EURUSD", "Stand-in Markets Ltd.", Quote(), Position()));
    ASSERT_TRUE(probe.wait(20000));
    EXPECT_EQ(probe.exitCode(), DWORD(ERROR_ACCESS_DENIED)) << "the second failure's code";
    const std::string command = expert.orders().Read();
    EXPECT_NE(command.find("Type="), std::string::npos) << "the service's answer never reached the expert";
    EXPECT_EQ(service.Requests().size(), 1u);
    const std::vector<std::string> lines = JournalLinesOfToday(journal);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[lines.size() - 2].find("command BUY handed on"), std::string::npos) << lines[lines.size() - 2];
    EXPECT_NE(lines.back().find("end exit=5 after a fatal error"), std::string::npos) << lines.back();
}

TEST(TradeCommand, AHandlerThatThrowsDuringTheExecutingDialogLeavesTheCommandWhole)
{
    // No service answers, so the order fails at once and the Executing dialog waits; one of its ticks meets
    // a lack of memory, and the trader cancels once a later tick has drawn the progress again.
    const std::wstring journal = FreshTempPath(L"starved-tick-");
    SetEnvironmentVariableW(L"PANEL_JOURNAL_FOLDER", journal.c_str());
    TerminalHost terminal;
    PanelProcess probe = PanelProcess::Launch(ProgramPath(L"fatal_error_probe.exe"),
                                              ChartHandleText(terminal.chart()) + L" starved-tick");
    SetEnvironmentVariableW(L"PANEL_JOURNAL_FOLDER", nullptr);
    ASSERT_TRUE(probe.wait(30000)) << "the dialog stopped polling";
    // 3: ended otherwise than by the trader; 4: later presses would be refused; 5: the panel stayed disabled.
    EXPECT_EQ(probe.exitCode(), 0u);
    const std::vector<std::string> lines = JournalLinesOfToday(journal);
    const auto has = [&](const std::string& event) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(event) != line.npos; });
    };
    EXPECT_TRUE(has("expert BUY cancelled by the trader"));
    EXPECT_TRUE(has("command FINISH not answered")) << "the Finish followed";
}

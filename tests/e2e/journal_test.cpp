// The panel's journal as a trader or a broker reads it after the fact: every command's steps, the line of a
// request that may have reached the service even when the panel was killed, whole lines from several
// panels at once, and trading that goes on when no journal can be written.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/trading.h"

using namespace harness;

namespace {

// The panels started while it lives keep their journal in a folder of the test's own.
class PrivateJournal {
public:
    explicit PrivateJournal(const std::wstring& folder) : folder_(folder)
    {
        SetEnvironmentVariableW(L"PANEL_JOURNAL_FOLDER", folder_.c_str());
    }
    PrivateJournal() : PrivateJournal(FreshTempPath(L"journal-e2e-")) {}
    ~PrivateJournal() { SetEnvironmentVariableW(L"PANEL_JOURNAL_FOLDER", nullptr); }

    // Today's lines (UTC), without their line feeds.
    std::vector<std::string> Lines() const { return JournalLinesOfToday(folder_); }
    // The events of one panel, in their order: what follows "pid=<id> ".
    std::vector<std::string> EventsOf(DWORD process) const
    {
        const std::string tag = " pid=" + std::to_string(process) + " ";
        std::vector<std::string> events;
        for (const std::string& line : Lines())
            if (const size_t at = line.find(tag); at != std::string::npos)
                events.push_back(line.substr(at + tag.size()));
        return events;
    }

private:
    std::wstring folder_;
};

bool Has(const std::vector<std::string>& events, const std::string& start)
{
    for (const std::string& event : events)
        if (event.rfind(start, 0) == 0)
            return true;
    return false;
}

}  // namespace

TEST(Journal, APanelKilledWhileItsRequestWaitsLeavesThePressAndTheAttempt)
{
    const PrivateJournal journal;
    // The service answers 4 s after the request: the panel is killed before.
    Trading trading("late", "late");
    ASSERT_NE(trading.buy, nullptr);
    Click(trading.buy, 40, 25);
    ASSERT_EQ(trading.RequestsOnceThereAre(1).size(), 1u);
    TerminateProcess(trading.panel.process().process(), 9);
    ASSERT_TRUE(trading.panel.process().wait(5000));
    const std::vector<std::string> events = journal.EventsOf(trading.panel.processId());
    EXPECT_TRUE(Has(events, "start version=")) << events.size();
    EXPECT_TRUE(Has(events, "press BUY symbol=\"EURUSD\" volume=\"0.01\""));
    EXPECT_TRUE(Has(events, "attempt BUY endpoint=http://127.0.0."));
    EXPECT_FALSE(Has(events, "outcome")) << "killed before the answer";
    // Nothing that identifies the trader or decodes a reply.
    for (const std::string& event : events)
        EXPECT_EQ(event.find(trading.service.Requests()[0].hash), std::string::npos) << event;
}

TEST(Journal, TwoPanelsTradingAtOnceLeaveWholeLinesAndEachItsCommandsSteps)
{
    const PrivateJournal journal;
    Trading first;
    // The second panel trades with the first one's service (its own stand-in listens nowhere).
    Trading second("refuse", "refuse");
    ASSERT_NE(first.buy, nullptr);
    ASSERT_NE(second.buy, nullptr);
    for (const Trading* trading : {&first, &second})
        PostMessageW(trading->buy, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 25));
    for (const Trading* trading : {&first, &second})
        PostMessageW(trading->buy, WM_LBUTTONUP, 0, MAKELPARAM(40, 25));
    ASSERT_EQ(first.RequestsOnceThereAre(4, 15000).size(), 4u) << "two orders and two Finishes";
    // Both commands over (each panel takes input again once its Finish is handed on). A chart closed then
    // ends its panel: the end goes in the journal too.
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(first.window) && IsWindowEnabled(second.window); }, 8000));
    second.terminal.ui().Run([&] { DestroyWindow(second.terminal.chart()); });
    EXPECT_EQ(second.panel.WaitForExit(5000), 0u);

    const std::regex whole(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z pid=\d+ [a-z]+ [ -~]*\r)");
    for (const std::string& line : journal.Lines())
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
    for (const Trading* trading : {&first, &second}) {
        const std::vector<std::string> events = journal.EventsOf(trading->panel.processId());
        const std::vector<std::string> steps = {"start", "press BUY", "attempt BUY", "outcome BUY answered Type=BUY",
                                                "command BUY handed on Type=BUY", "expert BUY done", "attempt FINISH",
                                                "outcome FINISH answered", "command FINISH handed on"};
        size_t next = 0;
        for (const std::string& event : events)
            if (next < steps.size() && event.rfind(steps[next], 0) == 0)
                ++next;
        EXPECT_EQ(next, steps.size()) << "panel " << trading->panel.processId() << " missed: "
                                      << (next < steps.size() ? steps[next] : "");
    }
    EXPECT_TRUE(Has(journal.EventsOf(second.panel.processId()), "end exit=0"));
}

TEST(Journal, TheChartClosingDuringTheExecutingDialogIsNeitherTheExpertsDoneNorTheTradersCancel)
{
    const PrivateJournal journal;
    Trading trading;
    trading.expert.SetExecuting(false);
    ASSERT_NE(trading.Buy(), nullptr);
    ASSERT_TRUE(trading.terminal.ui().Run([&] { DestroyWindow(trading.terminal.chart()); }));
    EXPECT_EQ(trading.panel.WaitForExit(10000), 0u);
    const std::vector<std::string> events = journal.EventsOf(trading.panel.processId());
    EXPECT_TRUE(Has(events, "expert BUY unanswered: the chart closed")) << events.size();
    EXPECT_FALSE(Has(events, "expert BUY done"));
    EXPECT_FALSE(Has(events, "expert BUY cancelled"));
    EXPECT_TRUE(Has(events, "attempt FINISH")) << "the Finish still goes out";
}

TEST(Journal, AJournalThatCannotBeWrittenStillTrades)
{
    // A file stands where the journal's folder would be made.
    const std::wstring blocker = FreshTempPath(L"journal-blocker-");
    CloseHandle(CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const PrivateJournal journal(blocker + L"\\journal");
    Trading trading;
    ASSERT_NE(trading.Buy(), nullptr);
    EXPECT_TRUE(trading.DialogGone(L"Executing", 8000));
    EXPECT_EQ(trading.RequestsOnceThereAre(2).size(), 2u);
    EXPECT_NEAR(trading.expert.CurrentPosition().volume, 0.01, 1e-9);
    EXPECT_TRUE(journal.Lines().empty());
    DeleteFileW(blocker.c_str());
}

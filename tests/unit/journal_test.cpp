// The journal's lines and its file, apart from the panel: what a line may hold, and that lines written at
// once by several writers stay whole.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "app/journal.h"
#include "service/order_call.h"
#include "service/reply_decoding.h"
#include "tests/support/harness.h"
#include "win/system_thread.h"


TEST(JournalLines, OneEventIsOneLineWithTimeAndProcessAndTextsAreBounded)
{
    const SYSTEMTIME utc = {2026, 12, 2, 9, 3, 4, 5, 67};
    EXPECT_EQ(JournalLine(utc, 4242, "press BUY"), "2026-12-09T03:04:05.067Z pid=4242 press BUY\r\n");
    // Whatever an event carries, it stays one line.
    EXPECT_EQ(JournalLine(utc, 1, "a\r\nb\tc"), "2026-12-09T03:04:05.067Z pid=1 a  b c\r\n");

    EXPECT_EQ(JournalText(std::string("0.01")), "\"0.01\"");
    EXPECT_EQ(JournalText(std::string("say \"no\"\r\n")), "\"say 'no'  \"");
    EXPECT_EQ(JournalText(std::string("abcdef"), 3), "\"abc...\"");
    // Cut by characters, never inside one: "é" is two bytes.
    EXPECT_EQ(JournalText(std::wstring(L"\u00e9\u00e9\u00e9"), 2), "\"\xc3\xa9\xc3\xa9...\"");
    EXPECT_EQ(JournalText(std::wstring(L"Vol\u00fcmen")), "\"Vol\xc3\xbcmen\"");
}

TEST(JournalLines, OnlyTheCommandsTypeIsKeptOfAReply)
{
    EXPECT_EQ(CommandType(L"<Order Type=\"BUY\" Volume=\"0.01\" Ticket=\"77\"/>"), "BUY");
    EXPECT_EQ(CommandType(L"<Order Ticket='1' Type='CLOSE_ALL'/>"), "CLOSE_ALL");
    EXPECT_EQ(CommandType(L"<Order SubType=\"X\" Type=\"SELL\"/>"), "SELL") << "only the attribute named Type";
    EXPECT_EQ(CommandType(L"<Order Volume=\"1\"/>"), "?");
    EXPECT_EQ(CommandType(L"<Order Type=\"BUY now\"/>"), "?") << "nothing but a plain name";
    // The root's own attribute, whatever a comment or a child says before it.
    EXPECT_EQ(CommandType(L"<!-- Type=\"NONE\" --><Order Volume=\"1\" Type=\"BUY\"/>"), "BUY");
    EXPECT_EQ(CommandType(L"<Order Volume=\"1\"><X Type=\"NONE\"/></Order>"), "?");
    EXPECT_EQ(CommandType(L"<Order Note=\" Type=&quot;NONE&quot;\" Type=\"SELL\"/>"), "SELL");
    EXPECT_EQ(CommandType(L"<Order Type=\"BUY\""), "?") << "no document";
    EXPECT_EQ(CommandType(L"<Order Type=\"\"/>"), "?");
    EXPECT_EQ(CommandType(L"<Order Type=BUY/>"), "?");
    EXPECT_EQ(CommandType(L""), "?");
    EXPECT_EQ(CommandType(L"<Order Type=\"" + std::wstring(100, L'A') + L"\"/>").size(), 24u);
}

TEST(JournalLines, AFailedCallSaysWhy)
{
    EXPECT_EQ(DescribeCallFailure(28, "Connection refused"), "connect: Connection refused");
    EXPECT_EQ(DescribeCallFailure(28, "Certificate refused"), "connect: Certificate refused");
    EXPECT_EQ(DescribeCallFailure(-1), "time-out or closed");
    EXPECT_EQ(DescribeCallFailure(500), "HTTP 500");
    EXPECT_EQ(DescribeCallFailure(12), "SOAP fault");
    EXPECT_EQ(DescribeCallFailure(14), "no result");
}

TEST(JournalFile, WritersAtOnceLeaveOnlyWholeLinesAndAFolderThatCannotBeMadeWritesNothing)
{
    const std::wstring folder = harness::FreshTempPath(L"journal-test-");
    {
        // Two journals on one file, as two panels are, each written by two threads at once.
        Journal first(folder), second(folder);
        std::vector<win::UniqueHandleObject> writers;
        for (Journal* journal : {&first, &second, &first, &second})
            writers.push_back(win::StartThread([journal, n = writers.size()] {
                const std::string event = "writer " + std::to_string(n) + " " + std::string(200, char('a' + n));
                for (int i = 0; i < 300; ++i)
                    journal->Write(event);
            }));
        for (const win::UniqueHandleObject& writer : writers) {
            EXPECT_TRUE(writer) << "a writer cannot be started";
            if (writer)
                WaitForSingleObject(writer, INFINITE);
        }
    }
    const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z pid=\d+ writer (\d) ([a-d]{200})\r)");
    int count = 0;
    for (const std::string& one : harness::JournalLinesOfToday(folder)) {
        ++count;
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(one, parts, line)) << "line " << count << ": " << one.substr(0, 80);
        EXPECT_EQ(parts[2].str(), std::string(200, char('a' + std::stoi(parts[1].str())))) << "a mixed line";
    }
    EXPECT_EQ(count, 4 * 300);

    // A folder that cannot be made (a file stands where its parent should be): nothing written, no failure.
    const std::wstring blocker = harness::FreshTempPath(L"journal-blocker-");
    CloseHandle(CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Journal blocked(blocker + L"\\journal");
    blocked.Write("press BUY");
    EXPECT_EQ(GetFileAttributesW((blocker + L"\\journal").c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(blocker.c_str());
}

// What the panel shows of the expert's symbol document, on screen (the panel on its own, where wine draws it).
#include <gtest/gtest.h>

#include "tests/support/harness.h"
#include "tools/terminal/expert.h"

using namespace harness;

namespace {

constexpr RECT titleStrip = {3, 0, 115, 15};  // where the symbol name is drawn

std::string Document(const char* name)
{
    Quote quote;
    quote.bid = 1.08444;
    quote.ask = 1.08456;
    return SymbolDocument(name, "Stand-in Markets Ltd.", quote, Position());
}

}  // namespace

TEST(Display, SymbolNameFollowsTheExpertsDocumentAndSurvivesABrokenOne)
{
    ParkMouse();
    PanelRun panel(L"standalone");
    StandInExpert expert(panel.processId(), "EURUSD");
    const HWND window = StartStandalone(panel);
    ASSERT_NE(window, nullptr);
    const RECT strip = ClientRectOnScreen(window, titleStrip);

    // Nothing written yet: an empty name draws nothing.
    EXPECT_TRUE(WaitUntil([&] { return CountDark(CaptureScreen(strip)) == 0; }, 2000));

    expert.Publish(Document("EURUSD"));
    ASSERT_TRUE(WaitUntil([&] { return CountDark(CaptureScreen(strip)) > 40; }, 2000));
    const ScreenImage eurusd = CaptureScreen(strip);

    expert.Publish(Document("GBPJPY"));
    ASSERT_TRUE(WaitUntil([&] { return CountDark(CaptureScreen(strip)) > 40 && !(CaptureScreen(strip) == eurusd); },
                          2000));
    const ScreenImage gbpjpy = CaptureScreen(strip);

    // A document caught half-written is no new data: the last name stays.
    expert.Publish("<Symbol Name=\"EURUSD\" Digits=\"5\" Ask=\"1.0");
    Sleep(400);
    EXPECT_EQ(CaptureScreen(strip), gbpjpy);

    expert.Publish(Document(""));
    EXPECT_TRUE(WaitUntil([&] { return CountDark(CaptureScreen(strip)) == 0; }, 2000));
}

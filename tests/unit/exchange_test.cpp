// The shared text channel and the two documents, against real file mappings and the real XML parser.
#include <gtest/gtest.h>

#include <windows.h>

#include <clocale>
#include <climits>
#include <cstring>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/exchange_thread.h"
#include "exchange/order_document.h"
#include "exchange/ansi_text.h"
#include "exchange/shared_text.h"
#include "exchange/symbol_info.h"

namespace {

// The other side of an area: holds it open (as the expert does) and sees its raw bytes.
class Holder {
public:
    explicit Holder(const std::wstring& name, DWORD size = SHARED_AREA_SIZE)
        : mapping_(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str())),
          size_(size)
    {
        view_ = static_cast<char*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, size));
    }
    ~Holder()
    {
        UnmapViewOfFile(view_);
        CloseHandle(mapping_);
    }
    void Put(const std::string& bytes) { std::memcpy(view_, bytes.data(), std::min<size_t>(bytes.size(), size_)); }
    std::string Bytes(size_t count) const { return std::string(view_, count); }

private:
    HANDLE mapping_;
    DWORD size_;
    char* view_;
};

std::wstring UniqueName(const wchar_t* tag)
{
    static int counter = 0;
    return std::wstring(L"ExchangeTest_") + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(++counter);
}

}  // namespace

TEST(SharedText, NamesCarryThePrefixTheProcessIdAndXml)
{
    EXPECT_EQ(AreaName(L"TarnInfo_", 4242), L"TarnInfo_4242.xml");
    EXPECT_EQ(AreaName(L"TarnOrders_", 4242), L"TarnOrders_4242.xml");
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    EXPECT_EQ(infoDocumentName(), L"TarnInfo_" + pid + L".xml");
    EXPECT_EQ(orderDocumentName(), L"TarnOrders_" + pid + L".xml");
}

TEST(SharedText, AreaNobodyHoldsReadsEmptyAndIsGoneAfterwards)
{
    const std::wstring name = UniqueName(L"nobody");
    EXPECT_EQ(ReadSharedText(name), L"");
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
}

TEST(SharedText, WrittenTextReadsBackAndReachesTheHolder)
{
    const std::wstring name = UniqueName(L"roundtrip");
    Holder holder(name);
    ASSERT_TRUE(WriteSharedText(name, L"<Order Type=\"BUY\" Volume=\"0.01\"/>"));
    EXPECT_EQ(ReadSharedText(name), L"<Order Type=\"BUY\" Volume=\"0.01\"/>");
    EXPECT_EQ(holder.Bytes(35), std::string("<Order Type=\"BUY\" Volume=\"0.01\"/>\0\0", 35));
}

TEST(SharedText, TextIsCutAtTheAreaSizeWithoutTerminator)
{
    const std::wstring name = UniqueName(L"size");
    Holder holder(name);
    ASSERT_TRUE(WriteSharedText(name, std::wstring(499, L'a')));
    EXPECT_EQ(holder.Bytes(500), std::string(499, 'a') + '\0');
    EXPECT_EQ(ReadSharedText(name), std::wstring(499, L'a'));

    ASSERT_TRUE(WriteSharedText(name, std::wstring(500, L'b')));
    EXPECT_EQ(holder.Bytes(500), std::string(500, 'b'));
    EXPECT_EQ(ReadSharedText(name), std::wstring(500, L'b'));

    ASSERT_TRUE(WriteSharedText(name, std::wstring(700, L'c')));
    EXPECT_EQ(ReadSharedText(name), std::wstring(500, L'c'));
}

TEST(SharedText, ShorterTextLeavesNothingOfTheLongerOneBehind)
{
    const std::wstring name = UniqueName(L"tail");
    Holder holder(name);
    ASSERT_TRUE(WriteSharedText(name, std::wstring(300, L'x')));
    ASSERT_TRUE(WriteSharedText(name, L"short"));
    EXPECT_EQ(holder.Bytes(500), "short" + std::string(495, '\0'));
}

TEST(SharedText, CharacterOutsideTheCodePageComesBackAsItsDefault)
{
    CPINFOEXW info = {};
    ASSERT_TRUE(GetCPInfoExW(CP_THREAD_ACP, 0, &info));
    BOOL usedDefault = FALSE;
    char probe[8];
    WideCharToMultiByte(CP_THREAD_ACP, 0, L"\u4E2D", 1, probe, sizeof probe, nullptr, &usedDefault);
    if (!usedDefault)
        GTEST_SKIP() << "code page " << info.CodePage << " has the character";

    const std::wstring name = UniqueName(L"default");
    Holder holder(name);
    ASSERT_TRUE(WriteSharedText(name, L"A\u4E2DB"));
    EXPECT_EQ(ReadSharedText(name), std::wstring(L"A") + info.UnicodeDefaultChar + L"B");
}

TEST(SharedText, BytesAfterTheZeroByteAreNotRead)
{
    const std::wstring name = UniqueName(L"zero");
    Holder holder(name);
    holder.Put(std::string("abc\0def", 8));
    EXPECT_EQ(ReadSharedText(name), L"abc");
}

TEST(SharedText, SmallerAreaOfTheOtherSideReadsEmptyAndRefusesWrites)
{
    const std::wstring name = UniqueName(L"small");
    Holder holder(name, 100);
    holder.Put("<a/>");
    // Windows refuses a view larger than the section; wine rounds sections up to whole pages and maps it.
    const HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, SHARED_AREA_SIZE);
    if (view)
        UnmapViewOfFile(view);
    CloseHandle(mapping);
    if (view)
        GTEST_SKIP() << "this platform maps 500 bytes of a 100-byte area (sections are whole pages)";
    EXPECT_EQ(ReadSharedText(name), L"");
    EXPECT_FALSE(WriteSharedText(name, L"<b/>"));
    EXPECT_EQ(holder.Bytes(4), "<a/>");
}

TEST(AnsiText, ConversionIsSizedByAskingNotGuessed)
{
    // Three bytes per UTF-16 unit: twice the units would not hold it.
    const std::wstring text(200, L'\u4E2D');
    const std::optional<std::string> bytes = ToCodePage(text, CP_UTF8);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ(bytes->size(), 600u);
    EXPECT_EQ(bytes->substr(0, 3), "\xE4\xB8\xAD");
    EXPECT_EQ(FromCodePage(*bytes, CP_UTF8), text);
    EXPECT_FALSE(ToCodePage(L"x", 12345).has_value()) << "no such code page";
}

TEST(SymbolConversions, IntegersAreDecimalAndSaturate)
{
    EXPECT_EQ(DecimalInteger(L"5"), 5);
    EXPECT_EQ(DecimalInteger(L"  -3x"), -3);
    EXPECT_EQ(DecimalInteger(L"0x10"), 0);
    EXPECT_EQ(DecimalInteger(L"010"), 10);
    EXPECT_EQ(DecimalInteger(L""), 0);
    EXPECT_EQ(DecimalInteger(L"99999999999"), INT_MAX);
    EXPECT_EQ(DecimalInteger(L"-99999999999"), INT_MIN);
}

TEST(SymbolConversions, NumbersTakeTheLongestDecimalPrefixWithAPoint)
{
    EXPECT_DOUBLE_EQ(DecimalNumber(L"1.23456"), 1.23456);
    EXPECT_DOUBLE_EQ(DecimalNumber(L" -12.5"), -12.5);
    EXPECT_DOUBLE_EQ(DecimalNumber(L"1,2345"), 1.0);
    EXPECT_DOUBLE_EQ(DecimalNumber(L"2.5e2xyz"), 250.0);
    EXPECT_DOUBLE_EQ(DecimalNumber(L"abc"), 0.0);
    EXPECT_DOUBLE_EQ(DecimalNumber(L""), 0.0);
}

TEST(SymbolConversions, PointStaysTheDecimalPointUnderAnotherLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "German_Germany.1252") && !std::setlocale(LC_ALL, "de-DE"))
        GTEST_SKIP() << "no German locale";
    const double value = DecimalNumber(L"1.5");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_DOUBLE_EQ(value, 1.5);
}

TEST(SymbolConversions, AttributesAreTakenAllOrNone)
{
    SymbolInfo info;
    info.Name = L"EURUSD";
    info.Vol = 0.3;
    // One attribute that cannot be read (no memory, a COM failure): nothing changes, and the caller is told.
    EXPECT_FALSE(ApplySymbolAttributes(info, [](const wchar_t* name) -> std::optional<std::wstring> {
        if (std::wstring(name) == L"Vol")
            return std::nullopt;
        return std::wstring(L"7");
    }));
    EXPECT_EQ(info.Name, L"EURUSD");
    EXPECT_EQ(info.Vol, 0.3);
    // Absent attributes are empty texts: all ten are taken.
    EXPECT_TRUE(ApplySymbolAttributes(info, [](const wchar_t* name) -> std::optional<std::wstring> {
        return std::wstring(name) == L"Name" ? std::wstring(L"GBPUSD") : std::wstring();
    }));
    EXPECT_EQ(info.Name, L"GBPUSD");
    EXPECT_EQ(info.Vol, 0.0);
}

TEST(SymbolConversions, UpIsTrueExactlyForTheIntegerOne)
{
    for (const wchar_t* text : {L"1", L"+1", L"01", L"1.5", L"  1"})
        EXPECT_TRUE(IsOne(text)) << text;
    for (const wchar_t* text : {L"2", L"-1", L"true", L"", L"0", L"11"})
        EXPECT_FALSE(IsOne(text)) << text;
}

class SymbolDocument : public testing::Test {
protected:
    SymbolDocument() : holder_(infoDocumentName()) {}

    SymbolInfo Read(const std::string& document)
    {
        holder_.Put(document + '\0');
        SymbolInfo info = known_;
        ReadSymbolInfo(info);
        return info;
    }
    static bool Unchanged(const SymbolInfo& info)
    {
        return info.Name == L"KNOWN" && info.Company == L"Co" && info.Digits == 3 && info.Bid == 9.5 &&
               info.Ask == 9.75 && info.BidUp && info.AskUp && info.Vol == 2 && info.Profit == 7 &&
               info.BEPrice == 8;
    }

    const SymbolInfo known_ = {L"KNOWN", L"Co", 3, 9.5, 9.75, true, true, 2, 7, 8};
    Holder holder_;
};

TEST_F(SymbolDocument, RootAttributesFillTheRecordWhateverTheRootIsCalled)
{
    const SymbolInfo info = Read("<Anything Name=\"EURUSD\" Company=\"Broker &amp; Co\" Digits=\"5\" Ask=\"1.23456\" "
                                 "Bid=\"1.23446\" AskUp=\"1\" BidUp=\"0\" Vol=\"0.1\" Profit=\"-12.5\" BEPrice=\"0\"/>");
    EXPECT_EQ(info.Name, L"EURUSD");
    EXPECT_EQ(info.Company, L"Broker & Co");
    EXPECT_EQ(info.Digits, 5);
    EXPECT_DOUBLE_EQ(info.Ask, 1.23456);
    EXPECT_DOUBLE_EQ(info.Bid, 1.23446);
    EXPECT_TRUE(info.AskUp);
    EXPECT_FALSE(info.BidUp);
    EXPECT_DOUBLE_EQ(info.Vol, 0.1);
    EXPECT_DOUBLE_EQ(info.Profit, -12.5);
    EXPECT_DOUBLE_EQ(info.BEPrice, 0.0);
}

TEST_F(SymbolDocument, MissingOrMisnamedAttributesBecomeEmptyOrZero)
{
    const SymbolInfo info = Read("<S Name=\"&#x45;UR\" ask=\"1.5\" Bid=\"1,2345\" AskUp=\"2\" BidUp=\"+1\"/>");
    EXPECT_EQ(info.Name, L"EUR");
    EXPECT_EQ(info.Company, L"");
    EXPECT_EQ(info.Digits, 0) << "a missing Digits is 0, not the initial 4";
    EXPECT_DOUBLE_EQ(info.Ask, 0.0) << "names are case-sensitive";
    EXPECT_DOUBLE_EQ(info.Bid, 1.0) << "a decimal comma ends the number";
    EXPECT_FALSE(info.AskUp);
    EXPECT_TRUE(info.BidUp);
    EXPECT_EQ(info.Vol, 0.0);
}

TEST_F(SymbolDocument, AttributesOfAChildElementAreNotSeen)
{
    const SymbolInfo info = Read("<Root><Symbol Name=\"EURUSD\" Digits=\"5\" Ask=\"1.2\" AskUp=\"1\"/></Root>");
    EXPECT_EQ(info.Name, L"");
    EXPECT_EQ(info.Digits, 0);
    EXPECT_EQ(info.Ask, 0.0);
    EXPECT_FALSE(info.AskUp);
}

TEST_F(SymbolDocument, NoDocumentOrABrokenOneLeavesEveryField)
{
    EXPECT_TRUE(Unchanged(Read(""))) << "empty area";
    EXPECT_TRUE(Unchanged(Read("<Symbol Name=\"EURUSD\" Digits=\"5\" Ask=\"1.23"))) << "cut document";
    EXPECT_TRUE(Unchanged(Read("<Symbol Name=\"A\"><b></Symbol>"))) << "malformed document";
    EXPECT_TRUE(Unchanged(Read("not xml at all"))) << "text";
}

class OrderDocument : public testing::Test {
protected:
    OrderDocument() : holder_(orderDocumentName()) {}
    void Put(const std::string& document) { holder_.Put(document + '\0'); }

    Holder holder_;
};

TEST_F(OrderDocument, CompletesExactlyWhenTypeIsNone)
{
    Put("<Order Type=\"NONE\"/>");
    EXPECT_TRUE(orderCompleted());
    for (const char* pending : {"<Order Type=\"none\"/>", "<Order Type=\"NONE \"/>", "<Order Error=\"x\"/>",
                                "<Order><Type>NONE</Type></Order>", "<Order Type=\"NONE\"", ""}) {
        Put(pending);
        EXPECT_FALSE(orderCompleted()) << pending;
    }
}

TEST_F(OrderDocument, ErrorTextComesFromTheRootOrSaysWhyThereIsNone)
{
    Put("<Order Type=\"NONE\" Error=\"Not enough money\"/>");
    EXPECT_EQ(errorDescription(), L"Not enough money");
    Put("<Order Type=\"BUY\"/>");
    EXPECT_EQ(errorDescription(), L"");
    Put("");
    EXPECT_EQ(errorDescription(), L"Unknown Error.");
    Put("<Order Error=\"cut");
    EXPECT_EQ(errorDescription(), L"");
}

TEST(OrderCommandGate, OnlyOnePlainElementTreePasses)
{
    // What a service (or anyone who forged its reply) could hand the expert's parser.
    for (const wchar_t* hostile : {
             L"<!DOCTYPE O [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]><O Type=\"BUY\" V=\"&b;\"/>",
             L"<!DOCTYPE O SYSTEM \"http://127.0.0.1/o.dtd\"><O Type=\"BUY\"/>",
             L"<?xml-stylesheet href=\"x.xsl\"?><O Type=\"BUY\"/>",
             L"<O Type=\"BUY\"><?run order?></O>",
             L"<O Type=\"BUY\"/><?run order?>",
             L"<O Type=\"BUY\"/><O Type=\"SELL\"/>",
             L"<O Type=\"BUY\"/>trailing",
             L"<O Type=\"BUY\" V=\"&undeclared;\"/>",
             L"just text",
             L"<O Type=\"BUY\">",
             L"",
         })
        EXPECT_FALSE(IsOneElementTree(hostile)) << std::wstring(hostile).c_str();
    // A genuine command passes, with its declaration, children, text, CDATA and comments.
    for (const wchar_t* genuine : {
             L"<Order Type=\"BUY\" Volume=\"0.01\" SL=\"15\"/>",
             L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Order Type=\"SELL\"><Leg Id=\"1\">a&amp;b</Leg></Order>",
             L"<!-- from the service --><Order Type=\"CLOSE\"><![CDATA[<all>]]></Order>",
         })
        EXPECT_TRUE(IsOneElementTree(genuine)) << std::wstring(genuine).c_str();
}

TEST_F(SymbolDocument, InternalEntitiesOfADtdAreNotExpanded)
{
    // Entities that multiply ("a billion laughs") would make a 500-byte document huge.
    const SymbolInfo info = Read("<!DOCTYPE S [<!ENTITY a \"0123456789\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                                 "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><S Name=\"&c;&c;&c;\" Digits=\"5\"/>");
    EXPECT_TRUE(Unchanged(info)) << "read a name of " << info.Name.size() << " characters";
    // A plain character or entity reference is still resolved.
    EXPECT_EQ(Read("<S Name=\"A&amp;B&#x43;\"/>").Name, L"A&BC");
}

std::atomic<bool> nestedWorkRan = false;

TEST(ExchangeThread, WaitEndsOnlyWithItsWorkerWhateverAHandlerThrows)
{
    // A window of this thread whose handler throws, with a message for it while the work runs.
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_APP)
            throw std::runtime_error("a handler failed");
        // A handler that starts an exchange of its own while the first one's work runs.
        if (message == WM_APP + 1)
            RunBesideWindowThread([] { nestedWorkRan = true; });
        return DefWindowProcW(window, message, wParam, lParam);
    };
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ThrowingHandler";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowW(L"ThrowingHandler", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    std::atomic<bool> workEnded = false;
    bool rethrown = false;
    try {
        RunBesideWindowThread([&] {
            PostMessageW(window, WM_APP + 1, 0, 0);
            PostMessageW(window, WM_APP, 0, 0);
            Sleep(300);
            workEnded = true;
        });
    } catch (const std::runtime_error&) {
        rethrown = true;
    }
    EXPECT_TRUE(workEnded) << "the wait returned while its worker still ran";
    EXPECT_TRUE(rethrown) << "what the handler threw goes on once the worker has ended";
    EXPECT_TRUE(nestedWorkRan) << "an exchange started during another's wait runs on a thread of its own";
    // The exchanges' thread serves the next one as well.
    bool again = false;
    RunBesideWindowThread([&] { again = true; });
    EXPECT_TRUE(again);
    DestroyWindow(window);
}

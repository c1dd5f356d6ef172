// The service's reply decoded under the key of the identity hash, and the stand-in service's answers.
#include "tests/unit/order_path_fixtures.h"

using namespace orderpath;

namespace {

struct Vector {
    std::wstring keySource;
    std::string plain;
    std::wstring cipherHex;
};

// Made by openssl outside the panel (make_des_vectors.sh).
std::vector<Vector> KnownAnswers()
{
    std::vector<Vector> vectors;
    std::ifstream file(BesideTests(L"des_vectors.txt").c_str());
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string source, plainHex, cipher;
        std::getline(fields, source, '\t');
        std::getline(fields, plainHex, '\t');
        std::getline(fields, cipher, '\t');
        std::string plain;
        for (size_t i = 0; i + 1 < plainHex.size(); i += 2)
            plain += static_cast<char>(std::stoi(plainHex.substr(i, 2), nullptr, 16));
        vectors.push_back({std::wstring(source.begin(), source.end()), plain, std::wstring(cipher.begin(), cipher.end())});
    }
    return vectors;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = towlower(c);
    return text;
}

}  // namespace

TEST(ReplyDecoding, KnownAnswersDecodeUnderTheHashKey)
{
    const std::vector<Vector> vectors = KnownAnswers();
    ASSERT_EQ(vectors.size(), 4u);
    COrderPath path;
    for (const Vector& v : vectors) {
        const std::string upToZero = v.plain.substr(0, v.plain.find('\0'));
        const std::wstring expected(upToZero.begin(), upToZero.end());
        EXPECT_EQ(path.Decrypt(v.cipherHex, v.keySource), expected);
        EXPECT_EQ(path.Decrypt(Lower(v.cipherHex), v.keySource), expected) << "lower-case digits";
    }
    // Two whole blocks of text and nothing more.
    EXPECT_EQ(path.Decrypt(vectors[2].cipherHex, vectors[2].keySource), L"SIXTEEN-LETTERS!");
    // A zero byte in the middle ends the text.
    EXPECT_EQ(path.Decrypt(vectors[3].cipherHex, vectors[3].keySource), L"AB");
}

TEST(ReplyDecoding, ShortOddAndForeignRepliesGiveTextNotErrors)
{
    COrderPath path;
    EXPECT_EQ(path.Decrypt(L"", L"10.0.0.1"), L"");
    // Nine digits: four bytes completed with zero bytes to one block, the ninth digit ignored.
    EXPECT_EQ(path.Decrypt(L"39D28E72F", L"10.0.0.1"), path.Decrypt(L"39D28E7200000000", L"10.0.0.1"));
    // Another terminal's key gives bytes, not a failure.
    const std::vector<Vector> vectors = KnownAnswers();
    ASSERT_FALSE(vectors.empty());
    EXPECT_NE(path.Decrypt(vectors[0].cipherHex, L"10.9.9.9"), L"<Order Type=\"BUY\" Volume=\"0.01\"/>");
}

TEST(ReplyDecoding, HexPairsNeverWritePastTheDestination)
{
    unsigned char bytes[8];
    std::fill(std::begin(bytes), std::end(bytes), 0xEE);
    hexToBytes(bytes, 3, L"41424344454647");
    EXPECT_EQ(bytes[0], 0x41);
    EXPECT_EQ(bytes[2], 0x43);
    EXPECT_EQ(bytes[3], 0xEE) << "past the destination";
    hexToBytes(bytes, 8, L"zz4g");
    EXPECT_EQ(bytes[0], 0x00) << "no valid prefix";
    EXPECT_EQ(bytes[1], 0x04) << "the valid prefix";
}

TEST(StandInService, AnswersWithACommandThePanelDecodes)
{
    // The stand-in service on a free loopback port.
    Winsock winsock;
    const int port = FreeLoopbackPort();
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    std::wstring line = L"service.exe --endpoint 127.0.0.1:" + std::to_wstring(port);
    ASSERT_TRUE(CreateProcessW(BesideTests(L"service.exe").c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &info));
    COrderPath path;
    OrderRequest request = FullRequest();
    request.hash = "8882632B7F0DFFA4D723AB9CF17BEDB55690BA5B";  // the identity of an empty broker address
    std::string reply;
    int status = -1;
    for (int attempt = 0; attempt < 50 && status != 0; ++attempt, Sleep(100))
        status = SendOrderComp("http://127.0.0.1:" + std::to_string(port) + "/Pellantix/Pellantix.svc", request, reply);
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    ASSERT_EQ(status, 0);
    const std::wstring command = path.Decrypt(std::wstring(reply.begin(), reply.end()), L"");
    EXPECT_EQ(command.rfind(L"<Order Type=\"SELL\" Volume=\"0.01\" SL=\"15\" TP=\"30\" SetSLTPonME=\"1\" "
                            L"Comp=\"Broker Ltd.\" Id=\"", 0),
              0u)
        << std::string(command.begin(), command.end());
}

TEST(ReplyDecoding, HugeOddAndNonHexRepliesStayBounded)
{
    COrderPath path;
    // A megabyte of hexadecimal text: half a megabyte of bytes, decoded up to the first zero byte.
    const std::wstring huge(2'000'000, L'A');
    const std::wstring text = path.Decrypt(huge, L"10.0.0.1");
    EXPECT_LE(text.size(), 1'000'000u);
    EXPECT_EQ(path.Decrypt(L"ABC", L"10.0.0.1"), path.Decrypt(L"AB00000000000000", L"10.0.0.1"));
    // Not hexadecimal at all: pairs without a valid prefix are zero bytes, whatever the characters.
    EXPECT_EQ(path.Decrypt(L"zz\u00E9\u4E2Dqq!!", L"10.0.0.1"), path.Decrypt(L"0000000000000000", L"10.0.0.1"));
}

TEST(ReplyDecoding, TheGateHandsOnOnlyAWholeSinglePlainCommand)
{
    EXPECT_EQ(GateReply(L"").fact, "not answered");
    const std::wstring command = L"<Order Type=\"BUY\" Volume=\"0.01\" Id=\"7\"/>";
    const HandedCommand handed = GateReply(command);
    EXPECT_EQ(handed.text, command) << "handed on as it came";
    EXPECT_EQ(handed.fact, "handed on Type=BUY");
    for (const std::wstring& refused : {std::wstring(L"<Order Type=\"BUY\"/><Order Type=\"SELL\"/>"),
                                        L"<Order Type=\"BUY\" Note=\"" + std::wstring(100'000, L'N') + L"\"/>"}) {
        const HandedCommand none = GateReply(refused);
        EXPECT_TRUE(none.text.empty());
        EXPECT_EQ(none.fact, "refused by the gate");
    }
}

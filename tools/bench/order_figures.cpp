// What one order costs: the OrderComp round trip to the stand-in service on loopback, and what the panel
// itself adds around it (broker lookup, identity hash, reply decoding, the order area write), with the
// system calls that set those costs under wine.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/journal.h"
#include "exchange/ansi_text.h"
#include "exchange/shared_text.h"
#include "service/order_call.h"
#include "service/order_path.h"
#include "service/winsock_session.h"
#include "tests/support/trading.h"
#include "tools/bench/figures.h"
#include "tools/bench/timing.h"
#include "tools/terminal/broker_connection.h"
#include "tools/terminal/panel_process.h"
#include "win/win_handles.h"

namespace {

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// The TCP table alone, of the class the panel asks for and of the class without owners.
void TcpTable(TCP_TABLE_CLASS tableClass)
{
    DWORD size = 0;
    GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, tableClass, 0);
    std::vector<BYTE> table(size + 4096);
    size = DWORD(table.size());
    GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET, tableClass, 0);
}

void AcquireAndRelease(const wchar_t* providerName, DWORD type, DWORD flags)
{
    HCRYPTPROV acquired = 0;
    if (CryptAcquireContextW(&acquired, nullptr, providerName, type, flags))
        win::UniqueCryptProvider(acquired).close();
}

// A trade command's exchanges when both endpoints dribble their replies: every attempt runs to the
// exchange bound, and each failure selects again. On loopback names and echoes cost nothing, so this is
// the bound less the lookups' and the echoes' share (see docs/developer.md).
double LongestCommandMs(COrderPath& path)
{
    const auto dribbling = [&path] {
        path.setServers({L"http://127.0.0.1:18889/Pellantix/Pellantix.svc",
                         L"http://127.0.0.1:18890/Pellantix/Pellantix.svc"});
        path.selectServer();
    };
    dribbling();
    const ULONGLONG start = GetTickCount64();
    path.orderWithRetry({Buy, {L"0.01", L"0", L"0", L"0"}, L""});
    // Both having failed, the selection went back to the built-in endpoints: here they dribble too.
    const ULONGLONG order = GetTickCount64() - start;
    dribbling();
    const ULONGLONG finishStart = GetTickCount64();
    path.orderWithRetry({Finish, {L"0.01", L"0", L"0", L"0"}, L""});
    return double(order + GetTickCount64() - finishStart);
}

}  // namespace

FigureRows OrderFigures()
{
    CoInitialize(nullptr);
    KeepCryptoProvidersLoaded();  // as the panel does at start
    BrokerConnection broker;  // this process plays the terminal
    COrderPath path;
    path.attachTerminal(GetCurrentProcessId());
    const std::string endpoint = "http://127.0.0.1:18888/Pellantix/Pellantix.svc";
    PanelProcess service = PanelProcess::Launch(
        ProgramFolder() + L"service.exe",
        L"service.exe --endpoint 127.0.0.1:18888 --endpoint 127.0.0.1:18889=dribble --endpoint 127.0.0.1:18890=dribble");

    const std::wstring address = path.brokerAddress();
    // As at a press: the identity looked up ahead of it (at attach and while the pointer is on the buttons),
    // then taken while that look-up serves.
    constexpr int calls = 100;
    const double lookup = MicrosecondsPerCall(calls, [&] { path.brokerAddress(); });
    const double withOwners = MicrosecondsPerCall(10, [] { TcpTable(TCP_TABLE_OWNER_PID_ALL); });
    const double withoutOwners = MicrosecondsPerCall(calls, [] { TcpTable(TCP_TABLE_BASIC_ALL); });
    OrderRequest request;
    request.hash = ToAnsi(COrderPath::HASH(address, CALG_SHA1)).value_or("");
    request.company = "Stand-in Markets Ltd.";
    request.volume = "0.01";
    request.stopLoss = request.takeProfit = request.setSlTpOnMarket = "0";
    std::string reply;
    for (int i = 0; i < 50 && SendOrderComp(endpoint, request, reply) != 0; ++i)
        Sleep(100);
    FigureRows rows;
    if (reply.empty()) {
        rows.push_back({"OrderComp round trip on loopback", "the stand-in service did not answer", "", false});
    } else {
        const std::wstring hex = FromAnsi(reply);
        const double roundTrip = MicrosecondsPerCall(calls, [&] { SendOrderComp(endpoint, request, reply); });
        const double hash = MicrosecondsPerCall(calls, [&] { COrderPath::HASH(address, CALG_SHA1); });
        const double decodeAndWrite =
            MicrosecondsPerCall(calls, [&] { WriteSharedText(orderDocumentName(), COrderPath::Decrypt(hex, address)); });
        const double verifyContext =
            MicrosecondsPerCall(calls, [] { AcquireAndRelease(nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT); });
        const double defaultContainer =
            MicrosecondsPerCall(calls, [] { AcquireAndRelease(MS_DEF_PROV_W, PROV_RSA_FULL, 0); });
        // Each acquisition loads the provider's library and each release unloads it again; held loaded
        // here, an acquisition shows what is left.
        const HMODULE providerLibrary = LoadLibraryW(L"rsaenh.dll");
        const double libraryHeld =
            MicrosecondsPerCall(calls, [] { AcquireAndRelease(MS_DEF_PROV_W, PROV_RSA_FULL, 0); });
        if (providerLibrary)
            FreeLibrary(providerLibrary);
        // The journal's two lines before a press's request leaves (the press, the attempt), in a folder of
        // the benchmark's own.
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        Journal journal(std::wstring(temp) + L"bench-journal-" + std::to_wstring(GetCurrentProcessId()));
        const double journalLines = 2 * MicrosecondsPerCall(calls, [&] {
            journal.Write("press BUY symbol=\"EURUSD\" volume=\"0.01\" sl=\"0\" tp=\"0\" sltp=\"0\"");
        });
        const double overhead = lookup + hash + decodeAndWrite;
        const double longest = LongestCommandMs(path);
        rows = {
            {"OrderComp round trip on loopback", Format("%.1f ms", roundTrip / 1000.0), "", true},
            {"order overhead inside the panel, per attempt", Format("%.1f ms", overhead / 1000.0), "<= 5 ms",
             overhead <= 5000.0},
            {"  broker address at a press, from the look-up that serves it",
             Format("%.1f ms", lookup / 1000.0), "", true},
            {"  identity hash (SHA-1)", Format("%.1f ms", hash / 1000.0), "", true},
            {"  reply decoding (DES) and order area write", Format("%.1f ms", decodeAndWrite / 1000.0), "", true},
            {"journal on the press path: its two lines before the request", Format("%.3f ms", journalLines / 1000.0),
             "<= 1 ms", journalLines <= 1000.0},
            {"system: TCP table with owners / without", Format("%.1f ms / %.2f ms", withOwners / 1000.0,
                                                               withoutOwners / 1000.0), "", true},
            {"system: provider verify context / default container",
             Format("%.1f ms / %.1f ms", verifyContext / 1000.0, defaultContainer / 1000.0), "", true},
            {"system: default container, provider library held loaded", Format("%.2f ms", libraryHeld / 1000.0), "",
             true},
            {"longest command on loopback: order, retry, Finish, both dribbling", Format("%.1f s", longest / 1000.0),
             "<= 44 s", longest <= 44000.0},
        };
    }
    TerminateProcess(service.process(), 0);
    CoUninitialize();
    return rows;
}

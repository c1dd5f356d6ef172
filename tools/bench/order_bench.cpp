// Prints what one order costs: the OrderComp round trip to the stand-in service on loopback, and what the
// panel itself adds around it (broker lookup, identity hash, reply decoding, the order area write).
//
//   bench_order.exe          (starts the stand-in service on a loopback port of its own)
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <functional>
#include <string>

#include "app/main_window.h"
#include "exchange/ansi_text.h"
#include "exchange/shared_text.h"
#include "tools/bench/timing.h"
#include "service/order_call.h"
#include "tools/terminal/broker_connection.h"
#include "tools/terminal/panel_process.h"

namespace {

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

}  // namespace

int main()
{
    CoInitialize(nullptr);
    BrokerConnection broker;  // this process plays the terminal
    const HWND chart = CreateWindowExW(0, L"STATIC", nullptr, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    CMainWindow main;
    main.hWndChart = chart;
    const std::string endpoint = "http://127.0.0.1:18888/Pellantix/Pellantix.svc";
    PanelProcess service = PanelProcess::Launch(ProgramFolder() + L"service.exe",
                                                L"service.exe --endpoint 127.0.0.1:18888");

    const std::wstring address = main.brokerAddress();
    OrderRequest request;
    request.hash = ToAnsi(CMainWindow::HASH(address, CALG_SHA1)).value_or("");
    request.company = "Stand-in Markets Ltd.";
    request.volume = "0.01";
    request.stopLoss = request.takeProfit = request.setSlTpOnMarket = "0";
    std::string reply;
    for (int i = 0; i < 50 && SendOrderComp(endpoint, request, reply) != 0; ++i)
        Sleep(100);
    if (reply.empty()) {
        std::printf("the stand-in service did not answer\n");
        TerminateProcess(service.process(), 0);
        return 1;
    }
    const std::wstring hex = FromAnsi(reply);

    constexpr int calls = 200;
    const double roundTrip = MicrosecondsPerCall(calls, [&] { SendOrderComp(endpoint, request, reply); });
    const double lookup = MicrosecondsPerCall(calls, [&] { main.brokerAddress(); });
    const double hash = MicrosecondsPerCall(calls, [&] { CMainWindow::HASH(address, CALG_SHA1); });
    const double decode = MicrosecondsPerCall(calls, [&] { main.Decrypt(hex, address); });
    const double write = MicrosecondsPerCall(calls, [&] { WriteSharedText(orderDocumentName(), main.Decrypt(hex, address)); });
    TerminateProcess(service.process(), 0);

    std::printf("One order, %d calls each\n", calls);
    std::printf("  %-40s %9.1f us\n", "OrderComp round trip on loopback", roundTrip);
    std::printf("  %-40s %9.1f us\n", "broker address (TCP table)", lookup);
    std::printf("  %-40s %9.1f us\n", "identity hash (SHA-1)", hash);
    std::printf("  %-40s %9.1f us\n", "reply decoding (DES)", decode);
    std::printf("  %-40s %9.1f us\n", "decoding and order area write", write);
    std::printf("  %-40s %9.1f us\n", "panel's own part of one attempt", lookup + hash + write);
    DestroyWindow(chart);
    CoUninitialize();
    return 0;
}

// Prints the panel's figures as one table: the symbol document read, one order's costs, presses and the
// CPU per tick on a quiet desktop and beside other programs' connections, the refresh
// cost against a bare-blit baseline, the cost of the stand-in under wine, start-up, and a long session of
// orders with live quotes.
//
//   bench_figures.exe [refresh seconds] [long-run orders] [long-run seconds]
//   bench_figures.exe desktop   (the presses and the CPU per tick on the three desktops alone)
//   bench_figures.exe desktop-cpu [seconds]   (the CPU per tick alone, stretches of 30 s by default)
//   (defaults 60, 200 and 1000: the long run then lasts 10 000 ticks, about 18 minutes)
#include "tools/bench/figures.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    const int refreshSeconds = argc > 1 ? std::max(5, _wtoi(argv[1])) : 60;
    const int orders = argc > 2 ? std::max(1, _wtoi(argv[2])) : 200;
    const int longRunSeconds = argc > 3 ? std::max(0, _wtoi(argv[3])) : 1000;

    // The run takes minutes and prints nothing before its table: stderr says where it is meanwhile.
    const ULONGLONG start = GetTickCount64();
    FigureRows rows;
    const auto stage = [&](const char* name, const auto& measure) {
        std::fprintf(stderr, "%s, %.0f s\n", name, (GetTickCount64() - start) / 1000.0);
        const FigureRows part = measure();
        rows.insert(rows.end(), part.begin(), part.end());
    };
    stage("symbol document read", [] { return SymbolReadFigures(); });
    if (argc > 1 && std::wstring(argv[1]) == L"desktop-cpu") {
        // The CPU per tick on the three desktops alone, over longer stretches.
        const int seconds = argc > 2 ? std::max(5, _wtoi(argv[2])) : 30;
        stage("CPU on a desktop", [&] { return DesktopFigures(seconds, true); });
        PrintFigureTable(rows);
        return 0;
    }
    // The presses first: the order costs' round trips leave a minute of closed connections in the table.
    stage("presses on a desktop", [] { return DesktopFigures(10); });
    if (argc > 1 && std::wstring(argv[1]) == L"desktop") {
        PrintFigureTable(rows);  // that stage alone
        return 0;
    }
    // The busy desktop's closed connections wait in the table for a minute: the rest runs on a quiet one.
    Sleep(65000);
    stage("order costs", [] { return OrderFigures(); });
    stage("start-up", [] { return StartUpFigures(5); });
    stage("refresh cost", [&] { return RefreshFigures(refreshSeconds); });
    stage("stand-in cost", [] { return OverlayFigures(); });
    stage("long run", [&] {
        return LongRunFigureRows(orders, longRunSeconds, [&](int done) {
            std::fprintf(stderr, "long run: %d/%d orders, %.0f s\n", done, orders, (GetTickCount64() - start) / 1000.0);
        });
    });

    PrintFigureTable(rows);
    return 0;
}

// Prints the panel's figures as one table: the symbol document read, one order's costs, the refresh
// cost against a bare-blit baseline, the cost of the stand-in under wine, start-up, and a long session of
// orders with live quotes.
//
//   bench_figures.exe [refresh seconds] [long-run orders] [long-run seconds]
//   (defaults 60, 200 and 1000: the long run then lasts 10 000 ticks, about 18 minutes)
#include "tools/bench/figures.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

std::string Format(const char* format, double value)
{
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Format(const char* format, double first, double second)
{
    char text[128];
    std::snprintf(text, sizeof text, format, first, second);
    return text;
}

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
    stage("order costs", [] { return OrderFigures(); });
    stage("start-up", [] { return StartUpFigures(5); });
    stage("refresh cost", [&] { return RefreshFigures(refreshSeconds); });
    stage("stand-in cost", [] { return OverlayFigures(); });
    stage("long run", [&] {
        return LongRunFigureRows(orders, longRunSeconds, [&](int done) {
            std::fprintf(stderr, "long run: %d/%d orders, %.0f s\n", done, orders, (GetTickCount64() - start) / 1000.0);
        });
    });

    size_t whatWidth = 6, measuredWidth = 8, goalWidth = 4;
    for (const FigureRow& row : rows) {
        whatWidth = std::max(whatWidth, row.what.size());
        measuredWidth = std::max(measuredWidth, row.measured.size());
        goalWidth = std::max(goalWidth, row.goal.size());
    }
    const auto line = [&](const std::string& what, const std::string& measured, const std::string& goal,
                          const char* verdict) {
        std::printf("| %-*s | %-*s | %-*s | %-6s |\n", int(whatWidth), what.c_str(), int(measuredWidth),
                    measured.c_str(), int(goalWidth), goal.c_str(), verdict);
    };
    line("figure", "measured", "goal", "");
    std::printf("|%s|%s|%s|--------|\n", std::string(whatWidth + 2, '-').c_str(),
                std::string(measuredWidth + 2, '-').c_str(), std::string(goalWidth + 2, '-').c_str());
    for (const FigureRow& row : rows)
        line(row.what, row.measured, row.goal, row.goal.empty() ? "" : row.met ? "met" : "missed");
    return 0;
}

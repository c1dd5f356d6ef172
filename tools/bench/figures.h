// The benchmark's figures: each part measures one thing and gives rows of the one table it prints.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct FigureRow {
    std::string what;
    std::string measured;
    std::string goal;  // empty: a figure without a goal
    bool met = true;
};
using FigureRows = std::vector<FigureRow>;

std::string Format(const char* format, double value);
std::string Format(const char* format, double first, double second);
// The rows as one table on standard output: figure, measured, goal, met or missed.
void PrintFigureTable(const FigureRows& rows);

FigureRows SymbolReadFigures();
FigureRows OrderFigures();
// Presses, http and https, cold and rested, and the CPU per tick, on a quiet desktop and beside other
// programs' connections; the CPU over stretches of that many seconds; with cpuOnly the CPU alone.
FigureRows DesktopFigures(int cpuSeconds, bool cpuOnly = false);
FigureRows RefreshFigures(int seconds);
FigureRows StartUpFigures(int runs);
FigureRows OverlayFigures();
FigureRows LongRunFigureRows(int orders, int seconds, const std::function<void(int ordersDone)>& progress);

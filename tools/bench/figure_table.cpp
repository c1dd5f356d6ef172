#include "tools/bench/figures.h"

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

void PrintFigureTable(const FigureRows& rows)
{
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
    std::fflush(stdout);
}

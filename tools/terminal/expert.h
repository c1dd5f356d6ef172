// The terminal's expert for one panel: it holds the panel's two shared areas for as long as it lives and
// publishes the chart's market state as the symbol document, ten times a second.
#pragma once

#include <windows.h>

#include <random>
#include <string>
#include <string_view>

struct Quote {
    int digits = 5;
    double bid = 0.0;
    double ask = 0.0;
    bool bidUp = false;  // the last move was up
    bool askUp = false;
};

// A plausible random walk of one symbol's quotes.
class QuoteWalk {
public:
    QuoteWalk(double startBid, int digits, unsigned seed);
    Quote Next();

private:
    Quote quote_;
    double point_;  // one unit of the last digit
    std::mt19937 random_;
};

// The simulated account's position in the symbol; flat until the expert executes orders.
struct Position {
    double volume = 0.0;  // lots, positive long, negative short
    double openPrice = 0.0;
    double profit = 0.0;
};

// The symbol document as the expert writes it: one root element with the ten attributes, numbers in
// the "C" locale.
std::string SymbolDocument(std::string_view name, std::string_view company, const Quote& quote,
                           const Position& position);

// One of the expert's areas, created (or opened) at 500 bytes and held with a view.
class ExpertArea {
public:
    explicit ExpertArea(const std::wstring& name);
    ExpertArea(const ExpertArea&) = delete;
    ExpertArea& operator=(const ExpertArea&) = delete;
    ~ExpertArea();

    explicit operator bool() const { return view_ != nullptr; }
    // Writes the bytes and their zero byte from the start, cut to the area's size.
    void Write(std::string_view bytes);
    // The text up to the first zero byte.
    std::string Read() const;

private:
    HANDLE mapping_ = nullptr;
    char* view_ = nullptr;
};

class StandInExpert {
public:
    static constexpr DWORD areaSize = 500;

    StandInExpert(DWORD panelProcessId, std::string symbol);

    // One step of the quotes, published.
    void Tick();
    // Writes any text as the symbol document.
    void Publish(std::string_view document) { info_.Write(document); }

    ExpertArea& orders() { return orders_; }
    const Quote& quote() const { return quote_; }

private:
    std::string symbol_;
    ExpertArea info_;
    ExpertArea orders_;
    QuoteWalk walk_;
    Quote quote_;
    Position position_;
};

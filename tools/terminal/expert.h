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

// The simulated account's position in the symbol.
struct Position {
    double volume = 0.0;  // lots, positive long, negative short
    double openPrice = 0.0;  // average price of the open volume
    double profit = 0.0;

    // Adds a deal of signed volume at the price: the same direction averages, the other reduces.
    void Deal(double signedVolume, double price);
    void Close() { *this = Position(); }
    // Profit in account currency at the current quote (100 000 units a lot).
    void Value(const Quote& quote);
};

// An attribute of the document's root element as written (entities of the five XML kinds resolved).
std::string RootAttribute(const std::string& document, const std::string& name);

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

    // One step of the quotes and the position, published.
    void Tick();
    // Writes any text as the symbol document.
    void Publish(std::string_view document) { info_.Write(document); }

    // Executes the order command the panel wrote, once it has stood for the delay, and marks the
    // document done ("Type" NONE, with an "Error" text when it could not be executed).
    void Execute();
    void SetExecutionDelay(DWORD milliseconds) { delayMs_ = milliseconds; }

    ExpertArea& orders() { return orders_; }
    const Quote& quote() const { return quote_; }
    const Position& position() const { return position_; }

private:
    // The error text, empty when the command was executed.
    std::string Run(const std::string& command);

    std::string symbol_;
    ExpertArea info_;
    ExpertArea orders_;
    QuoteWalk walk_;
    Quote quote_;
    Position position_;
    DWORD delayMs_ = 300;
    std::string pending_;  // the command waiting for its delay
    ULONGLONG pendingSince_ = 0;
};

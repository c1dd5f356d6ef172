#include "tools/terminal/expert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "tools/common/xml_text.h"

namespace {

std::wstring AreaName(const wchar_t* prefix, DWORD processId)
{
    return prefix + std::to_wstring(processId) + L".xml";
}

// Where each symbol's quotes start; any other symbol walks from EURUSD's.
struct SymbolStart {
    std::string_view name;
    double bid;
    int digits;
};
constexpr SymbolStart symbolStarts[] = {
    {"EURUSD", 1.08450, 5},
    {"GBPUSD", 1.27120, 5},
    {"USDJPY", 151.250, 3},
    {"AUDUSD", 0.65830, 5},
};

const SymbolStart& StartOf(std::string_view symbol)
{
    for (const SymbolStart& start : symbolStarts)
        if (start.name == symbol)
            return start;
    return symbolStarts[0];
}

}  // namespace

QuoteWalk::QuoteWalk(double startBid, int digits, unsigned seed)
    : point_(std::pow(10.0, -digits)), random_(seed)
{
    quote_.digits = digits;
    quote_.bid = startBid;
    quote_.ask = startBid + 12 * point_;
}

Quote QuoteWalk::Next()
{
    // Most ticks move a few points; the spread breathes between 0.8 and 1.8 pips.
    std::normal_distribution<double> move(0.0, 3.0);
    std::uniform_int_distribution<int> spread(8, 18);
    const double step = std::round(move(random_)) * point_;
    const double bid = std::max(point_, quote_.bid + step);
    const double ask = bid + spread(random_) * point_;
    quote_.bidUp = bid > quote_.bid;
    quote_.askUp = ask > quote_.ask;
    quote_.bid = bid;
    quote_.ask = ask;
    return quote_;
}

std::string SymbolDocument(std::string_view name, std::string_view company, const Quote& quote,
                           const Position& position)
{
    char numbers[320];
    std::snprintf(numbers, sizeof numbers,
                  "Digits=\"%d\" Ask=\"%.*f\" Bid=\"%.*f\" AskUp=\"%d\" BidUp=\"%d\" Vol=\"%.2f\" Profit=\"%.2f\" "
                  "BEPrice=\"%.*f\"",
                  quote.digits, quote.digits, quote.ask, quote.digits, quote.bid, quote.askUp ? 1 : 0,
                  quote.bidUp ? 1 : 0, std::fabs(position.volume), position.profit, quote.digits,
                  position.volume == 0.0 ? 0.0 : position.openPrice);
    return "<Symbol Name=\"" + XmlEscaped(name) + "\" Company=\"" + XmlEscaped(company) + "\" " + numbers + "/>";
}

ExpertArea::ExpertArea(const std::wstring& name)
{
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, StandInExpert::areaSize,
                                  name.c_str());
    if (mapping_)
        view_ = static_cast<char*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, StandInExpert::areaSize));
}

ExpertArea::~ExpertArea()
{
    if (view_)
        UnmapViewOfFile(view_);
    if (mapping_)
        CloseHandle(mapping_);
}

void ExpertArea::Write(std::string_view bytes)
{
    if (!view_)
        return;
    const size_t length = std::min<size_t>(bytes.size(), StandInExpert::areaSize);
    std::memcpy(view_, bytes.data(), length);
    if (length < StandInExpert::areaSize)
        view_[length] = '\0';
}

std::string ExpertArea::Read() const
{
    if (!view_)
        return {};
    const auto* end = static_cast<const char*>(std::memchr(view_, 0, StandInExpert::areaSize));
    return std::string(view_, end ? end - view_ : StandInExpert::areaSize);
}

StandInExpert::StandInExpert(DWORD panelProcessId, std::string symbol)
    : symbol_(std::move(symbol)),
      info_(AreaName(L"TarnInfo_", panelProcessId)),
      orders_(AreaName(L"TarnOrders_", panelProcessId)),
      walk_(StartOf(symbol_).bid, StartOf(symbol_).digits, panelProcessId)
{
}

void StandInExpert::Tick()
{
    quote_ = walk_.Next();
    position_.Value(quote_);
    info_.Write(SymbolDocument(symbol_, "Stand-in Markets Ltd.", quote_, position_));
}

void StandInExpert::Execute()
{
    const std::string command = orders_.Read();
    const std::string type = RootAttribute(command, "Type");
    if (type.empty() || type == "NONE") {
        pending_.clear();
        return;
    }
    if (command != pending_) {
        pending_ = command;
        pendingSince_ = GetTickCount64();
        return;
    }
    if (GetTickCount64() - pendingSince_ < delayMs_)
        return;
    const std::string error = Run(command);
    std::string done = "<Order Type=\"NONE\" Id=\"" + XmlEscaped(RootAttribute(command, "Id")) + "\"";
    if (!error.empty())
        done += " Error=\"" + XmlEscaped(error) + "\"";
    orders_.Write(done + "/>");
    pending_.clear();
    position_.Value(quote_);
}

std::string StandInExpert::Run(const std::string& command)
{
    const std::string type = RootAttribute(command, "Type");
    if (type == "BUY" || type == "SELL") {
        const std::string text = RootAttribute(command, "Volume");
        char* end = nullptr;
        const double volume = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(volume > 0.0) || volume > 1000.0)
            return "Invalid volume: " + text;
        position_.Deal(type == "BUY" ? volume : -volume, type == "BUY" ? quote_.ask : quote_.bid);
        return {};
    }
    if (type == "CLOSE_SYMBOL" || type == "CLOSE_ALL") {
        position_.Close();
        return {};
    }
    if (type == "FINISH")
        return {};
    return "Unknown command: " + type;
}

void Position::Deal(double signedVolume, double price)
{
    const double total = volume + signedVolume;
    if (volume == 0.0 || (volume > 0) == (signedVolume > 0))
        openPrice = (openPrice * volume + price * signedVolume) / total;
    else if (total != 0.0 && (total > 0) != (volume > 0))
        openPrice = price;  // turned over: the rest is a new position at this price
    volume = std::fabs(total) < 1e-9 ? 0.0 : total;
    if (volume == 0.0)
        Close();
}

void Position::Value(const Quote& quote)
{
    if (volume > 0)
        profit = (quote.bid - openPrice) * volume * 100000.0;
    else if (volume < 0)
        profit = (openPrice - quote.ask) * -volume * 100000.0;
    else
        profit = 0.0;
}

std::string RootAttribute(const std::string& document, const std::string& name)
{
    // The first element's start tag only.
    const size_t open = document.find('<');
    const size_t close = document.find('>', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    const std::string tag = document.substr(open, close - open);
    const std::string key = " " + name + "=\"";
    const size_t at = tag.find(key);
    if (at == std::string::npos)
        return {};
    const size_t start = at + key.size();
    const size_t end = tag.find('"', start);
    if (end == std::string::npos)
        return {};
    std::string value = tag.substr(start, end - start);
    static const std::pair<const char*, char> entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
    for (const auto& [entity, character] : entities)
        for (size_t found; (found = value.find(entity)) != std::string::npos;)
            value.replace(found, std::strlen(entity), 1, character);
    return value;
}

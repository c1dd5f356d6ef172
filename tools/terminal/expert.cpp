#include "tools/terminal/expert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

std::wstring AreaName(const wchar_t* prefix, DWORD processId)
{
    return prefix + std::to_wstring(processId) + L".xml";
}

std::string Escaped(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
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
    return "<Symbol Name=\"" + Escaped(name) + "\" Company=\"" + Escaped(company) + "\" " + numbers + "/>";
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
      walk_(1.08450, 5, panelProcessId)
{
}

void StandInExpert::Tick()
{
    quote_ = walk_.Next();
    info_.Write(SymbolDocument(symbol_, "Stand-in Markets Ltd.", quote_, position_));
}

// One OrderComp request to the order service, as it goes on the wire.
#pragma once

#include <string>

// The request's values as 8-bit text in the thread's ANSI code page, and the order type.
struct OrderRequest {
    std::string hash;
    std::string company;
    int type = 0;
    std::string volume;
    std::string stopLoss;
    std::string takeProfit;
    std::string setSlTpOnMarket;
};

// Every call is bounded: a service that accepts and never answers fails like one that refuses. The
// receive bound holds for each read; the transfer bound for the whole request and the whole reply, so a
// service dribbling its bytes cannot hold the panel either.
constexpr int connectTimeoutSeconds = 3;
constexpr int sendTimeoutSeconds = 3;
constexpr int receiveTimeoutSeconds = 5;
constexpr int transferTimeoutSeconds = 5;
// A reply larger than this fails like any broken one: a command is at most 500 bytes, so this leaves room
// for any real one, and a hostile service cannot make the panel copy and decrypt megabytes.
constexpr unsigned replyLimitBytes = 64 * 1024;

// The text without the control characters that XML 1.0 cannot carry (all below 0x20 but tab, LF and CR).
std::string XmlCarriable(std::string text);

// Sends the request to the endpoint with a fresh client and fills result with OrderCompResult. Returns 0
// on success, otherwise the SOAP runtime's error code (a reply without a result is a failed call too).
// Throws std::bad_alloc when memory runs out: that is no fault of the endpoint.
int SendOrderComp(const std::string& endpoint, const OrderRequest& request, std::string& result);

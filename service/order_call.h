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

// Sends the request to the endpoint with a fresh client and fills result with OrderCompResult. Returns 0
// on success, otherwise the SOAP runtime's error code (a reply without a result is a failed call too).
int SendOrderComp(const std::string& endpoint, const OrderRequest& request, std::string& result);

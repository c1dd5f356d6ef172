// Real presses on BUY timed to the request at the stand-in service, as the benchmark takes them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct PressTimes {
    std::vector<double> ms;  // from each press to its whole request at the service, sorted
    double firstMs = -1;  // the first press's, a second or so after the panel came up
    std::vector<double> atFarHost;  // from each press to its first bytes at the far host, where told, sorted
    bool oneOrderEach = true;  // each press gave one order and one Finish, no more
};

// Presses on BUY of a panel run by the program, with the stand-in service on its loopback endpoints, each
// once the panel takes input again. With a rest, the pointer rests on BUY that long before the press, as a
// hand does: the panel connects meanwhile. Without, the press comes from elsewhere after awayMs, by
// default once a connection made ahead of the last one has gone and the identity looked up then no longer
// serves.
// The service also listens on serviceAlsoOn when given (see harness::ServiceRun). farArrival, when given,
// tells when the first request after a time (milliseconds of MonotonicMs) reached the far host, or 0.
using FarArrival = std::function<double(double since)>;
PressTimes PressToRequestMs(int presses, const std::wstring& program = L"panel.exe", DWORD restMs = 0,
                            const std::string& serviceAlsoOn = "", const FarArrival& farArrival = {},
                            DWORD awayMs = 5500);

// "median / slowest of n", or what went wrong.
std::string MedianAndSlowest(const std::vector<double>& ms);

// Real presses on BUY timed to the request at the stand-in service, as the benchmark takes them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct PressTimes {
    std::vector<double> ms;  // from each press to its whole request at the service, sorted
    bool oneOrderEach = true;  // each press gave one order and one Finish, no more
};

// Presses on BUY of a panel run by the program, with the stand-in service on its loopback endpoints, each
// once the panel takes input again. With a rest, the pointer rests on BUY that long before the press, as a
// hand does: the panel connects meanwhile. Without, the press comes from elsewhere, once a connection
// made ahead of the last one has gone.
// The service also listens on serviceAlsoOn when given (see harness::ServiceRun).
PressTimes PressToRequestMs(int presses, const std::wstring& program = L"panel.exe", DWORD restMs = 0,
                            const std::string& serviceAlsoOn = "");

// "median / slowest of n", or what went wrong.
std::string MedianAndSlowest(const std::vector<double>& ms);

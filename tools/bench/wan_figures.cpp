// Presses and failing commands over a wide-area link of 25 ms each way. Run it where 10.77.0.2 and
// 10.77.0.3 are a far end's behind such a link, whose network namespace WAN_FAR_END names, from where
// 10.78.0.1 reaches back here without delay; 10.77.0.8 and 10.77.0.9 answer nothing (scripts/bench-wan.sh
// makes such namespaces). The far end's relays are native programs: in a namespace of their own, their
// connections stay out of this one's TCP table, where the panel looks for the terminal's.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "service/order_path.h"
#include "service/winsock_session.h"
#include "tests/support/harness.h"
#include "tests/support/system.h"
#include "tests/support/tls_service.h"
#include "tools/bench/figures.h"
#include "tools/bench/presses.h"
#include "tools/common/monotonic_clock.h"

namespace {

constexpr int pressesEach = 7;
constexpr double oneWayMs = 25;

// Where the stand-in service also listens, for the far end's relays.
constexpr const char* serviceHere = "10.78.0.1";

// The far end of the link: relays on 10.77.0.2 and 10.77.0.3 to the stand-in service's endpoints, through
// TLS or not, closing connections idle for that many seconds when given.
// The leg to the stand-in service is made once the panel has sent something (WAN_FIRST_BYTE_RELAY names
// the program that makes it): the service listens in the panel's namespace, and a leg made at once would
// stand in the panel's TCP table, idle and without an owner under wine, while a connection is held ahead.
// The relay also notes in a file (WAN_ARRIVALS, a Unix path) when each request reached the far host, on the
// clock of the performance counter.
// With atOnce the leg is made as soon as the panel connects, as a plain relay would: its rows then stand in
// the panel's table, as any local native program's connections do.
struct FarLeg {
    std::string relay;
    std::string arrivals;
    bool atOnce = false;
};

struct FarEnd {
    FarEnd(const harness::TestPki& pki, const std::string& netns, const FarLeg& leg, bool tls, int idleSeconds)
        : primary(pki, tls ? 8443 : 8888, "wan", Backend(leg, 8888), tls, "10.77.0.2", idleSeconds, netns),
          secondary(pki, tls ? 8444 : 8889, "wan", Backend(leg, 8889), tls, "10.77.0.3", idleSeconds, netns)
    {
    }
    static std::string Backend(const FarLeg& leg, int port)
    {
        if (leg.relay.empty())
            return std::string(serviceHere) + ":" + std::to_string(port);
        return "EXEC:" + leg.relay + (leg.atOnce ? " --at-once " : " ") + serviceHere + " " + std::to_string(port) +
               " " + leg.arrivals;
    }
    bool listening() const { return primary.listening() && secondary.listening(); }

    harness::TlsFront primary, secondary;
};

double Median(const std::vector<double>& ms)
{
    return ms.empty() ? 1e9 : ms[ms.size() / 2];
}

// The first arrival at the far host after the time, from the relays' file; 0 when there is none.
FarArrival ArrivalsIn(const std::string& arrivals)
{
    if (arrivals.empty())
        return {};
    return [arrivals](double since) {
        std::ifstream file("Z:" + arrivals);
        double first = 0;
        for (double at; file >> at;)
            if (at > since && (first == 0 || at < first))
                first = at;
        return first;
    };
}

double Slowest(const PressTimes& times)
{
    return times.atFarHost.empty() ? 1e9 : times.atFarHost.back();
}

// The order path alone, with no window, input or identity before it: a request on a connection made ahead,
// from the call to the request read at the service. What the link, the far end's relay and the stand-in
// service cost; a press adds the panel's input and window thread to it.
PressTimes OrderPathAloneMs(int orders, const FarArrival& farArrival)
{
    PressTimes times;
    harness::ServiceRun service("ok", "ok", serviceHere);
    if (!service.listening())
        return times;
    // The far end's relays: addresses of the namespaces scripts/wan-network.sh makes, the only place this
    // program runs (it refuses to without WAN_FAR_END).
    COrderPath path({L"http://10.77.0.2:8888/Pellantix/Pellantix.svc", L"http://10.77.0.3:8889/Pellantix/Pellantix.svc"},
                    {});
    path.selectServer();
    for (int order = 0; order < orders; ++order) {
        path.connectAhead();
        if (!harness::WaitUntil([&] { return path.holdsConnectionAhead(); }, 5000))
            break;
        Sleep(400);
        const size_t before = service.Requests().size();
        const double called = MonotonicMs();
        path.orderWithRetry({Buy, {L"0.01", L"0", L"0", L"0"}, L""});
        const std::vector<harness::LoggedRequest> requests = service.Requests();
        if (requests.size() <= before)
            break;
        times.ms.push_back(requests[before].arrivedMs - called);
        if (const double atFarHost = farArrival ? farArrival(called) : 0; atFarHost > 0)
            times.atFarHost.push_back(atFarHost - called);
    }
    std::sort(times.ms.begin(), times.ms.end());
    std::sort(times.atFarHost.begin(), times.atFarHost.end());
    return times;
}

}  // namespace

int wmain()
{
    const char* farEndVariable = std::getenv("WAN_FAR_END");
    if (!farEndVariable) {
        std::printf("no far end: run this through scripts/bench-wan.sh\n");
        return 1;
    }
    const std::string farEnd = farEndVariable;
    const char* relayVariable = std::getenv("WAN_FIRST_BYTE_RELAY");
    const char* arrivalsVariable = std::getenv("WAN_ARRIVALS");
    const FarLeg leg{relayVariable ? relayVariable : "", relayVariable && arrivalsVariable ? arrivalsVariable : ""};
    const FarArrival farArrival = ArrivalsIn(leg.arrivals);
    WinsockStarted();
    const harness::TestPki pki;
    FigureRows rows;
    if (!pki.ready())
        rows.push_back({"test certificates", "could not be made", "", false});
    for (const bool tls : {false, true}) {
        const std::wstring program = tls ? L"panel_wan_https.exe" : L"panel_wan.exe";
        const std::string scheme = tls ? "https" : "http";
        PressTimes cold, rested, longRest, busy;
        {
            const FarEnd relays(pki, farEnd, leg, tls, 0);
            std::fprintf(stderr, "%s: cold and rested presses\n", scheme.c_str());
            if (relays.listening()) {
                cold = PressToRequestMs(pressesEach, program, 0, serviceHere, farArrival);
                rested = PressToRequestMs(pressesEach, program, 400, serviceHere, farArrival);
            }
        }
        {
            // A service that closes connections idle for 5 s, and a pointer resting 7 s.
            const FarEnd relays(pki, farEnd, leg, tls, 5);
            std::fprintf(stderr, "%s: presses after 7 s of rest\n", scheme.c_str());
            if (relays.listening())
                longRest = PressToRequestMs(pressesEach, program, 7000, serviceHere, farArrival);
        }
        if (!leg.relay.empty()) {
            // The service's legs made at once, their rows in the panel's table, and a browser beside the
            // terminal: idle connections and a new one every 250 ms, none with an owner under wine.
            FarLeg atOnce = leg;
            atOnce.atOnce = true;
            const FarEnd relays(pki, farEnd, atOnce, tls, 0);
            const harness::Neighbour browser(12, 250);
            std::fprintf(stderr, "%s: rested presses, legs made at once, a browser beside\n", scheme.c_str());
            if (relays.listening() && browser.ready())
                busy = PressToRequestMs(pressesEach, program, 400, serviceHere, farArrival);
        }
        // Where the request reached the far host, one way of the link from the panel, and where the stand-in
        // service had read it, behind the far end's relay and wine's sockets.
        const std::string host = scheme + ": press to the request at the far host, ";
        const std::string service = scheme + ": press to the request read by the stand-in service, ";
        const double goal = oneWayMs + 10;
        rows.push_back({host + "cold (median / slowest)", MedianAndSlowest(cold.atFarHost), "", true});
        rows.push_back({host + "the pointer resting 0.4 s", MedianAndSlowest(rested.atFarHost),
                        Format("median <= %.0f ms", goal), Median(rested.atFarHost) <= goal});
        rows.push_back({host + "resting 0.4 s, the service's legs made at once, a browser beside",
                        MedianAndSlowest(busy.atFarHost), Format("median <= %.0f ms", goal),
                        Median(busy.atFarHost) <= goal});
        rows.push_back({host + "resting 7 s, idle closed after 5 s", MedianAndSlowest(longRest.atFarHost),
                        Format("<= %.0f ms", 8 * oneWayMs), Slowest(longRest) <= 8 * oneWayMs});
        rows.push_back({service + "cold", MedianAndSlowest(cold.ms), "", true});
        rows.push_back({service + "the pointer resting 0.4 s", MedianAndSlowest(rested.ms), "", true});
        rows.push_back({service + "resting 7 s", MedianAndSlowest(longRest.ms), "", true});
        if (!tls) {
            const FarEnd relays(pki, farEnd, leg, tls, 0);
            const PressTimes alone = relays.listening() ? OrderPathAloneMs(pressesEach, farArrival) : PressTimes{};
            rows.push_back({"http: the order path alone on a connection made ahead, to the far host / to the service",
                            alone.ms.empty() ? "did not order"
                                             : Format("%.0f ms / %.0f ms", Median(alone.atFarHost), Median(alone.ms)),
                            "", true});
            rows.push_back({"http: what a rested press adds to the order path alone, medians at the far host",
                            alone.atFarHost.empty() || rested.atFarHost.empty()
                                ? ""
                                : Format("%.0f ms", Median(rested.atFarHost) - Median(alone.atFarHost)),
                            "", true});
        }
        const bool oneEach = cold.oneOrderEach && rested.oneOrderEach && longRest.oneOrderEach && busy.oneOrderEach;
        rows.push_back({scheme + ": one order and one Finish a press, all four kinds", oneEach ? "yes" : "no", "yes",
                        oneEach});
    }

    // Both endpoints silent: no echo, no answer to a connection.
    CoInitialize(nullptr);
    std::fprintf(stderr, "a command with both endpoints silent\n");
    COrderPath path({L"http://10.77.0.8:8888/Pellantix/Pellantix.svc", L"http://10.77.0.9:8888/Pellantix/Pellantix.svc"},
                    {});
    ULONGLONG start = GetTickCount64();
    path.selectServer();
    const double selection = double(GetTickCount64() - start);
    start = GetTickCount64();
    const bool ordered = !path.orderWithRetry({Buy, {L"0.01", L"0", L"0", L"0"}, L""}).empty();
    const double order = double(GetTickCount64() - start);
    start = GetTickCount64();
    path.orderWithRetry({Finish, {L"0.01", L"0", L"0", L"0"}, L""});
    const double finish = double(GetTickCount64() - start);
    CoUninitialize();
    rows.push_back({"both endpoints silent: start-up selection", Format("%.0f ms", selection), "", true});
    rows.push_back({"both endpoints silent: the order (attempt, selection, retry)", Format("%.1f s", order / 1000),
                    "", !ordered});
    rows.push_back({"both endpoints silent: the whole command (order and Finish)",
                    Format("%.1f s", (order + finish) / 1000), "", !ordered});
    PrintFigureTable(rows);
    return 0;
}

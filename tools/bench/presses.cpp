#include "tools/bench/presses.h"

#include <algorithm>
#include <cstdio>

#include "tests/support/trading.h"
#include "tools/common/monotonic_clock.h"
#include "tools/bench/figures.h"

PressTimes PressToRequestMs(int presses, const std::wstring& program, DWORD restMs, const std::string& serviceAlsoOn,
                            const FarArrival& farArrival, DWORD awayMs)
{
    using namespace harness;
    Trading trading("ok", "ok", 0, program, serviceAlsoOn);
    PressTimes times;
    if (!trading.buy || !WaitUntilOnScreen(trading.window))
        return times;
    for (int press = 0; press < presses; ++press) {
        const size_t before = trading.service.Requests().size();
        if (!WaitUntil([&] { return IsWindowEnabled(trading.window) != FALSE; }, 10000))
            break;
        const POINT point = OnScreen(trading.buy, 40, 25);
        if (restMs) {
            // A hand comes to rest on the button.
            SetCursorPos(point.x - 30, point.y);
            Sleep(50);
            SetCursorPos(point.x, point.y);
            Sleep(restMs);
        } else {
            SetCursorPos(0, 0);
            Sleep(awayMs);
            SetCursorPos(point.x, point.y);
        }
        INPUT click[2] = {};
        click[0].type = click[1].type = INPUT_MOUSE;
        click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        const double pressed = MonotonicMs();
        SendInput(2, click, sizeof(INPUT));
        std::vector<LoggedRequest> requests;
        if (!WaitUntil([&] { return (requests = trading.service.Requests()).size() > before; }, 10000))
            break;
        times.ms.push_back(requests[before].arrivedMs - pressed);
        if (press == 0)
            times.firstMs = times.ms.back();
        if (const double atFarHost = farArrival ? farArrival(pressed) : 0; atFarHost > 0)
            times.atFarHost.push_back(atFarHost - pressed);
        std::fprintf(stderr, "press %d: %.0f ms\n", press, times.ms.back());
        // The order, its dialog, the Finish: the next press once the panel takes input again.
        WaitUntil([&] { return trading.service.Requests().size() >= before + 2; }, 15000);
    }
    // Whatever came late: any order more than the presses' shows here.
    WaitUntil([&] { return IsWindowEnabled(trading.window) != FALSE; }, 10000);
    const std::vector<LoggedRequest> all = trading.service.Requests();
    times.oneOrderEach = all.size() == 2 * times.ms.size() &&
                         std::count_if(all.begin(), all.end(), [](const LoggedRequest& r) { return r.type == 0; }) ==
                             std::ptrdiff_t(times.ms.size());
    std::sort(times.ms.begin(), times.ms.end());
    std::sort(times.atFarHost.begin(), times.atFarHost.end());
    return times;
}

std::string MedianAndSlowest(const std::vector<double>& ms)
{
    if (ms.empty())
        return "the panel did not trade";
    return Format("%.0f ms / %.0f ms", ms[ms.size() / 2], ms.back()) + Format(" of %.0f", double(ms.size()));
}

// The parts of the whole system that tests run around the real panel: the stand-in order service with its
// request log, and the terminal's expert working on a thread of its own.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "tools/terminal/expert.h"
#include "tools/terminal/panel_process.h"
#include "win/system_thread.h"

namespace harness {

// One request as the stand-in service recorded it.
struct LoggedRequest {
    double arrivedMs = 0;  // when the service had read it, on the stand-ins' monotonic clock (MonotonicMs)
    std::string endpoint;
    int type = -1;
    std::string hash, company, volume, stopLoss, takeProfit, setSlTpOnMarket;
};

// The stand-in service on the panel's two endpoints, 127.0.0.2:8888 and 127.0.0.3:8888; a mode per
// endpoint as the service takes it ("ok", "refuse", "fault", ...). With another host, each endpoint also
// listens there, on ports 8888 and 8889 (for relays from a far end).
class ServiceRun {
public:
    ServiceRun(const std::string& primaryMode = "ok", const std::string& secondaryMode = "ok",
               const std::string& alsoOnHost = "");
    ServiceRun(const ServiceRun&) = delete;
    ServiceRun& operator=(const ServiceRun&) = delete;
    ~ServiceRun();

    bool listening() const { return listening_; }
    std::vector<LoggedRequest> Requests() const;

private:
    PanelProcess process_;
    std::wstring log_;
    bool listening_ = false;
};

// The expert of one panel on a thread: quotes every 100 ms and, while executing, the panel's commands.
class ExpertRunner {
public:
    explicit ExpertRunner(DWORD panelProcessId, DWORD executionDelayMs = 300);
    ExpertRunner(const ExpertRunner&) = delete;
    ExpertRunner& operator=(const ExpertRunner&) = delete;
    ~ExpertRunner();

    // An expert that never answers the panel's commands leaves the document as the panel wrote it.
    void SetExecuting(bool executing) { executing_ = executing; }
    // Stops or resumes the quotes, so that the test can publish documents of its own meanwhile.
    void SetQuoting(bool quoting) { quoting_ = quoting; }
    void Publish(const std::string& document);
    std::string Orders();
    void WriteOrders(const std::string& document);
    Position CurrentPosition();

private:
    std::mutex mutex_;
    StandInExpert expert_;
    std::atomic<bool> executing_{true};
    std::atomic<bool> quoting_{true};
    std::atomic<bool> stop_{false};
    win::UniqueHandleObject thread_;
};

// The identity the panel sends for a broker address, computed outside the panel: SHA-1 of the address
// padded with spaces to the next multiple of 8, in upper-case hexadecimal.
std::string ExpectedHash(const std::string& brokerAddress);

}  // namespace harness

#include "tests/support/system.h"

#include <winsock2.h>
#include <wincrypt.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/harness.h"
#include "win/win_handles.h"

namespace harness {

namespace {

std::string Unescaped(const std::string& value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}


}  // namespace

ServiceRun::ServiceRun(const std::string& primaryMode, const std::string& secondaryMode, const std::string& alsoOnHost)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    static int runs = 0;
    log_ = std::wstring(folder) + L"service-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++runs) + L".log";
    DeleteFileW(log_.c_str());
    const std::wstring ready = log_ + L".ready";
    DeleteFileW(ready.c_str());
    const std::wstring primary(primaryMode.begin(), primaryMode.end());
    const std::wstring secondary(secondaryMode.begin(), secondaryMode.end());
    std::wstring arguments = L"service.exe --log \"" + log_ + L"\" --ready \"" + ready +
                             L"\" --endpoint 127.0.0.2:8888=" + primary + L" --endpoint 127.0.0.3:8888=" + secondary;
    if (!alsoOnHost.empty()) {
        const std::wstring host(alsoOnHost.begin(), alsoOnHost.end());
        arguments += L" --endpoint " + host + L":8888=" + primary + L" --endpoint " + host + L":8889=" + secondary;
    }
    process_ = PanelProcess::Launch(ProgramPath(L"service.exe"), arguments);
    // Listening where it should, by its own word: a probe would also be answered by whatever else holds
    // the address (another run's service), and then the test would trade with that. A service that cannot
    // listen ends at once.
    const auto readyMade = [&] { return GetFileAttributesW(ready.c_str()) != INVALID_FILE_ATTRIBUTES; };
    WaitUntil([&] { return readyMade() || process_.wait(0); }, 10000);
    listening_ = readyMade();
    DeleteFileW(ready.c_str());
}

ServiceRun::~ServiceRun()
{
    TerminateProcess(process_.process(), 0);
    process_.wait(5000);
    DeleteFileW(log_.c_str());
}

std::vector<LoggedRequest> ServiceRun::Requests() const
{
    std::vector<LoggedRequest> requests;
    std::ifstream file(log_.c_str());
    std::string line;
    while (std::getline(file, line)) {
        std::vector<std::string> fields;
        std::istringstream stream(line);
        std::string field;
        while (std::getline(stream, field, '\t'))
            fields.push_back(Unescaped(field));
        fields.resize(9);
        LoggedRequest request;
        request.arrivedMs = fields[0].empty() ? 0 : std::stod(fields[0]);
        request.endpoint = fields[1];
        request.type = fields[2].empty() ? -1 : std::stoi(fields[2]);
        request.hash = fields[3];
        request.company = fields[4];
        request.volume = fields[5];
        request.stopLoss = fields[6];
        request.takeProfit = fields[7];
        request.setSlTpOnMarket = fields[8];
        requests.push_back(request);
    }
    return requests;
}

ExpertRunner::ExpertRunner(DWORD panelProcessId, DWORD executionDelayMs) : expert_(panelProcessId, "EURUSD")
{
    expert_.SetExecutionDelay(executionDelayMs);
    thread_ = win::StartThread([this] {
        while (!stop_) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (quoting_)
                    expert_.Tick();
                if (executing_)
                    expert_.Execute();
            }
            Sleep(100);
        }
    });
    if (!thread_)
        throw std::runtime_error("the expert's thread cannot be started");
}

ExpertRunner::~ExpertRunner()
{
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
}

void ExpertRunner::Publish(const std::string& document)
{
    std::lock_guard<std::mutex> lock(mutex_);
    expert_.Publish(document);
}

std::string ExpertRunner::Orders()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return expert_.orders().Read();
}

void ExpertRunner::WriteOrders(const std::string& document)
{
    std::lock_guard<std::mutex> lock(mutex_);
    expert_.orders().Write(document);
}

Position ExpertRunner::CurrentPosition()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return expert_.position();
}

std::string ExpectedHash(const std::string& brokerAddress)
{
    std::string text = brokerAddress;
    text.append(text.size() / 8 * 8 + 8 - text.size(), ' ');
    // Every step checked: a digest left unwritten would be compared as if it were one.
    const auto digestOf = [&text](BYTE (&digest)[20]) -> DWORD {
        HCRYPTPROV providerHandle = 0;
        if (!CryptAcquireContextW(&providerHandle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            return GetLastError();
        const win::UniqueCryptProvider provider(providerHandle);
        HCRYPTHASH hashHandle = 0;
        if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, &hashHandle))
            return GetLastError();
        const win::UniqueCryptHash hash(hashHandle);
        DWORD size = sizeof digest;
        if (!CryptHashData(hash, reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()), 0) ||
            !CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0))
            return GetLastError();
        return size == sizeof digest ? 0 : ERROR_INVALID_DATA;
    };
    BYTE digest[20] = {};
    if (const DWORD error = digestOf(digest))
        return "no digest made here, error " + std::to_string(error);
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const BYTE byte : digest) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

}  // namespace harness

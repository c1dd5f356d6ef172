// One trade command's order: its values become one OrderComp request, retried once on the endpoint chosen
// after a failure, and the decoded reply (or the empty text) is what the controller hands to the expert.
#include "service/order_exchange.h"

#include <new>

#include "exchange/ansi_text.h"
#include "service/order_call.h"
#include "service/order_path.h"
#include "service/tls_channel.h"

#include <system_error>
#include <thread>

void COrderPath::prepareTls() const
{
    const auto https = [](const std::wstring& url) { return url.rfind(L"https://", 0) == 0; };
    if (!https(builtIn_[0]) && !https(builtIn_[1]))
        return;
    try {
        std::thread(WarmUpCertificateChecks).detach();
    } catch (const std::system_error&) {
        // Then the first press pays for it.
    }
}

std::wstring COrderPath::orderWithRetry(const OrderCommand& command)
{
    std::wstring decoded;
    if (callOrderComp(command, decoded))
        return decoded;
    // The failed endpoint is marked and the other chosen, whether or not it answers the echo: once more.
    callOrderComp(command, decoded);
    return decoded;
}

bool COrderPath::callOrderComp(const OrderCommand& command, std::wstring& decoded)
{
    int selected = -1;
    std::wstring endpoint;
    ULONG address = INADDR_NONE;
    {
        const std::lock_guard lock(endpointsMutex_);
        selected = endpoints_.selectedServer;
        if (selected >= 0) {
            endpoint = endpoints_.serverUrls[selected];
            address = endpoints_.serverAddresses[selected];
        }
    }
    if (selected < 0)
        return false;
    try {
        const std::wstring broker = brokerAddress();
        const auto ansi = [](const std::wstring& text) { return ToAnsi(text).value_or(std::string()); };
        OrderRequest request;
        request.hash = ansi(HASH(broker, CALG_SHA1));
        request.company = ansi(command.company);
        request.type = command.type;
        request.volume = ansi(command.fields.volume);
        request.stopLoss = ansi(command.fields.stopLoss);
        request.takeProfit = ansi(command.fields.takeProfit);
        request.setSlTpOnMarket = ansi(command.fields.setSlTpOnMarket);

        std::string reply;
        if (SendOrderComp(ansi(endpoint), address, request, reply, tls_) != 0) {
            {
                const std::lock_guard lock(endpointsMutex_);
                endpoints_.serverAlive[selected] = 0;
            }
            selectServer();
            return false;
        }
        decoded = Decrypt(FromAnsi(reply), broker);
        return true;
    } catch (const std::bad_alloc&) {
        // Out of memory here is no fault of the endpoint: the attempt fails and the command stays as it was.
        return false;
    }
}

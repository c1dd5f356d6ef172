// One trade command's order: the panel's controls become one OrderComp request, retried once on the
// other endpoint, and the decoded reply (or the empty text) becomes the order command document.
#include "service/order_exchange.h"

#include <new>

#include "app/exchange_thread.h"
#include "app/main_window.h"
#include "exchange/ansi_text.h"
#include "exchange/shared_text.h"
#include "service/endpoints.h"
#include "service/order_call.h"

std::optional<OrderFields> CMainWindow::readOrderControls()
{
    try {
        OrderFields fields;
        const bool checked = (SendMessageW(sltpCheckBox.hWnd, BM_GETSTATE, 0, 0) & BST_CHECKED) != 0;
        fields.setSlTpOnMarket = checked ? L"1" : L"0";
        fields.takeProfit = tpCombo.GetText();
        fields.stopLoss = slCombo.GetText();
        fields.volume = volumeCombo.GetText();
        return fields;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

void CMainWindow::placeOrder(OrderType type, const std::optional<OrderFields>& fields)
{
    std::wstring command;
    try {
        // The company as the refresh last read it; the refresh goes on meanwhile and may change it.
        orderCompany = symbolInfo.Company;
        if (fields)
            RunBesideWindowThread([&] {
                command = orderWithRetry(type, fields->volume, fields->stopLoss, fields->takeProfit,
                                         fields->setSlTpOnMarket);
            });
        // A command cut at the area's end could still parse as a shorter one: the expert gets none.
        if (!FitsSharedArea(command))
            command.clear();
        // Converted before the area is touched, so a lack of memory cannot leave it half written.
        if (WriteSharedText(orderDocumentName(), command))
            return;
    } catch (const std::bad_alloc&) {
    }
    // A failed exchange leaves an empty document: the expert finds no command. The empty text needs no memory.
    WriteSharedText(orderDocumentName(), std::wstring());
}

std::wstring CMainWindow::orderWithRetry(OrderType type, const std::wstring& volume, const std::wstring& stopLoss,
                                         const std::wstring& takeProfit, const std::wstring& setSlTpOnMarket)
{
    std::wstring command;
    if (callOrderComp(type, volume, stopLoss, takeProfit, setSlTpOnMarket, command))
        return command;
    // The failed endpoint is marked and the other chosen, whether or not it answers the echo: once more.
    callOrderComp(type, volume, stopLoss, takeProfit, setSlTpOnMarket, command);
    return command;
}

bool CMainWindow::callOrderComp(OrderType type, const std::wstring& volume, const std::wstring& stopLoss,
                                const std::wstring& takeProfit, const std::wstring& setSlTpOnMarket,
                                std::wstring& command)
{
    if (selectedServer < 0)
        return false;
    try {
        const std::wstring broker = brokerAddress();
        const auto ansi = [](const std::wstring& text) { return ToAnsi(text).value_or(std::string()); };
        OrderRequest request;
        request.hash = ansi(HASH(broker, CALG_SHA1));
        request.company = ansi(orderCompany);
        request.type = type;
        request.volume = ansi(volume);
        request.stopLoss = ansi(stopLoss);
        request.takeProfit = ansi(takeProfit);
        request.setSlTpOnMarket = ansi(setSlTpOnMarket);

        std::string reply;
        if (SendOrderComp(ansi(currentServer()), serverAddresses[selectedServer], request, reply) != 0) {
            serverAlive[selectedServer] = 0;
            selectServer();
            return false;
        }
        command = Decrypt(FromAnsi(reply), broker);
        return true;
    } catch (const std::bad_alloc&) {
        // Out of memory here is no fault of the endpoint: the attempt fails and the command stays as it was.
        return false;
    }
}

// One trade command's order: the panel's controls become one OrderComp request, retried once on the
// other endpoint, and the decoded reply (or the empty text) becomes the order command document.
#include "service/order_exchange.h"

#include "app/main_window.h"
#include "exchange/ansi_text.h"
#include "exchange/shared_text.h"
#include "service/order_call.h"

void CMainWindow::placeOrder(OrderType type)
{
    const bool checked = (SendMessageW(sltpCheckBox.hWnd, BM_GETSTATE, 0, 0) & BST_CHECKED) != 0;
    const std::wstring setSlTpOnMarket = checked ? L"1" : L"0";
    const std::wstring takeProfit = tpCombo.GetText();
    const std::wstring stopLoss = slCombo.GetText();
    const std::wstring volume = volumeCombo.GetText();
    // A failed exchange leaves an empty document: the expert finds no command.
    WriteSharedText(orderDocumentName(), orderWithRetry(type, volume, stopLoss, takeProfit, setSlTpOnMarket));
}

std::wstring CMainWindow::orderWithRetry(OrderType type, const std::wstring& volume, const std::wstring& stopLoss,
                                         const std::wstring& takeProfit, const std::wstring& setSlTpOnMarket)
{
    std::wstring command;
    if (callOrderComp(type, volume, stopLoss, takeProfit, setSlTpOnMarket, command))
        return command;
    // The failed endpoint is marked and the selection has run: once more, perhaps elsewhere.
    callOrderComp(type, volume, stopLoss, takeProfit, setSlTpOnMarket, command);
    return command;
}

bool CMainWindow::callOrderComp(OrderType type, const std::wstring& volume, const std::wstring& stopLoss,
                                const std::wstring& takeProfit, const std::wstring& setSlTpOnMarket,
                                std::wstring& command)
{
    // No endpoint answered the last selection: ask again rather than stay unable to trade until restart.
    if (selectedServer < 0)
        selectServer();
    if (selectedServer < 0)
        return false;

    const std::wstring broker = brokerAddress();
    const auto ansi = [](const std::wstring& text) { return ToAnsi(text).value_or(std::string()); };
    OrderRequest request;
    request.hash = ansi(HASH(broker, CALG_SHA1));
    request.company = ansi(symbolInfo.Company);
    request.type = type;
    request.volume = ansi(volume);
    request.stopLoss = ansi(stopLoss);
    request.takeProfit = ansi(takeProfit);
    request.setSlTpOnMarket = ansi(setSlTpOnMarket);

    std::string reply;
    if (SendOrderComp(ansi(currentServer()), request, reply) != 0) {
        serverAlive[selectedServer] = 0;
        selectServer();
        return false;
    }
    command = Decrypt(FromAnsi(reply), broker);
    return true;
}

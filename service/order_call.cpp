#include "service/order_call.h"

#include "soapBasicHttpBinding_USCOREIPellantixProxy.h"
#include "BasicHttpBinding_USCOREIPellantix.nsmap"

int SendOrderComp(const std::string& endpoint, const OrderRequest& request, std::string& result)
{
    // A fresh client per request: nothing (connection, buffers) lives on to the next one.
    BasicHttpBinding_USCOREIPellantixProxy proxy;
    proxy.soap_endpoint = endpoint.c_str();
    proxy.soap->connect_timeout = connectTimeoutSeconds;
    proxy.soap->send_timeout = sendTimeoutSeconds;
    proxy.soap->recv_timeout = receiveTimeoutSeconds;
    proxy.soap->transfer_timeout = transferTimeoutSeconds;

    std::string hash = request.hash, company = request.company, volume = request.volume;
    std::string stopLoss = request.stopLoss, takeProfit = request.takeProfit;
    std::string setSlTpOnMarket = request.setSlTpOnMarket;
    int type = request.type;
    _ns1__OrderComp call;
    call.HASH = &hash;
    call.Comp = &company;
    call.Type = &type;
    call.Volume = &volume;
    call.SL = &stopLoss;
    call.TP = &takeProfit;
    call.SetSLTPonME = &setSlTpOnMarket;
    _ns1__OrderCompResponse response;

    int status = proxy.OrderComp(nullptr, nullptr, &call, response);
    if (status == SOAP_OK && !response.OrderCompResult)
        status = SOAP_NO_DATA;
    if (status == SOAP_OK)
        result = *response.OrderCompResult;
    proxy.destroy();
    return status;
}

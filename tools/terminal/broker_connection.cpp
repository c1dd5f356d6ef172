#include "tools/terminal/broker_connection.h"

#include <ws2tcpip.h>

BrokerConnection::BrokerConnection(const char* brokerAddress)
{
    WSADATA data;
    started_ = WSAStartup(0x0202, &data) == 0;
    if (started_)
        Connect(brokerAddress);
}

void BrokerConnection::Connect(const char* brokerAddress)
{
    // Both ends on the broker's address, so every row of the pair has it as remote address; the listener
    // goes once the pair stands, leaving no row with another remote address.
    sockaddr_in broker = {};
    broker.sin_family = AF_INET;
    inet_pton(AF_INET, brokerAddress, &broker.sin_addr);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int length = sizeof broker;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&broker), sizeof broker) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&broker), &length) != 0) {
        closesocket(listener);
        return;
    }
    client_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in local = broker;
    local.sin_port = 0;
    if (client_ != INVALID_SOCKET && bind(client_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
        connect(client_, reinterpret_cast<sockaddr*>(&broker), sizeof broker) == 0)
        server_ = accept(listener, nullptr, nullptr);
    closesocket(listener);
    Heartbeat();
}

void BrokerConnection::Close()
{
    if (client_ != INVALID_SOCKET)
        closesocket(client_);
    if (server_ != INVALID_SOCKET)
        closesocket(server_);
    client_ = server_ = INVALID_SOCKET;
}

BrokerConnection::~BrokerConnection()
{
    Close();
    if (started_)
        WSACleanup();
}

void BrokerConnection::Reconnect(const char* brokerAddress)
{
    Close();
    if (started_)
        Connect(brokerAddress);
}

void BrokerConnection::Heartbeat()
{
    if (!*this)
        return;
    char byte = 1;
    send(client_, &byte, 1, 0);
    recv(server_, &byte, 1, 0);
    send(server_, &byte, 1, 0);
    recv(client_, &byte, 1, 0);
}

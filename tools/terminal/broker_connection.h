// The terminal's connection to its broker's trade server, played on loopback: a connected pair of
// sockets on the "broker" address with a little traffic, so the terminal process owns TCP rows whose
// remote address is the broker's (under wine a socket's owner shows only after it did some I/O).
#pragma once

#include <winsock2.h>

class BrokerConnection {
public:
    static constexpr const char* address = "127.0.0.5";

    explicit BrokerConnection(const char* brokerAddress = address);
    BrokerConnection(const BrokerConnection&) = delete;
    BrokerConnection& operator=(const BrokerConnection&) = delete;
    ~BrokerConnection();

    explicit operator bool() const { return client_ != INVALID_SOCKET && server_ != INVALID_SOCKET; }
    // One byte each way, as a terminal's keep-alive.
    void Heartbeat();
    // The terminal drops its connection and connects to another server of the broker's.
    void Reconnect(const char* brokerAddress);

private:
    void Connect(const char* brokerAddress);
    void Close();

    bool started_ = false;
    SOCKET client_ = INVALID_SOCKET;
    SOCKET server_ = INVALID_SOCKET;
};

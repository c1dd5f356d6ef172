// Winsock 2.2 started for a guard's life: every start the system counts needs its own cleanup.
#pragma once

#include <winsock2.h>

class WinsockSession {
public:
    WinsockSession() : started_(WSAStartup(0x0202, &data_) == 0) {}
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    ~WinsockSession()
    {
        if (started_)
            WSACleanup();
    }
    explicit operator bool() const { return started_; }

private:
    WSADATA data_;
    bool started_;
};

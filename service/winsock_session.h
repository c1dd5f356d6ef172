// Winsock started once for the whole process, and never ended.
#pragma once

#include <winsock2.h>

// Every WSAStartup is counted and needs its WSACleanup; the cleanup that brings the count to zero closes
// every socket of the process. Wine keeps that count without a lock: starts and cleanups on several threads
// at once can lose one, and a cleanup then closes the sockets other threads are using, and clears their
// list while another thread grows it (freed memory written over). So Winsock is started once, before the
// first thread (the panel's entry calls this first), and the process's end frees it.
inline bool WinsockStarted()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(0x0202, &data) == 0;
    }();
    return started;
}

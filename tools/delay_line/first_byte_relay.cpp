// A relay's far leg that connects only once the client has sent something: run by socat (EXEC) for each
// connection it accepts, with that connection on standard input and output. A service that is really
// remote leaves no row in the panel's TCP table; the stand-in service listens in the panel's namespace, so
// a leg made as soon as a connection arrives would stand there, idle and (under wine) without an owner, for
// as long as the panel holds a connection ahead of a press.
// With a file named, the time the first bytes came is appended to it, one line of milliseconds on
// CLOCK_MONOTONIC_RAW (the clock of wine's performance counter): when the request reached the far host.
// With --at-once the leg is made at once instead, as a plain relay does: its rows then stand in the panel's
// table for as long as a connection is held ahead, as any local native program's connections do.
//   first_byte_relay [--at-once] HOST PORT [ARRIVALS]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

int Connect(const char* host, int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host, &address.sin_addr) != 1)
        return -1;
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    if (socket < 0 || setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 ||
        connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return -1;
    return socket;
}

bool WriteAll(int fd, const char* data, ssize_t length)
{
    while (length > 0) {
        const ssize_t written = write(fd, data, static_cast<size_t>(length));
        if (written <= 0)
            return false;
        data += written;
        length -= written;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool atOnce = argc > 1 && std::strcmp(argv[1], "--at-once") == 0;
    if (atOnce) {
        --argc;
        ++argv;
    }
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: first_byte_relay [--at-once] HOST PORT [ARRIVALS]\n");
        return 2;
    }
    const int early = atOnce ? Connect(argv[1], std::atoi(argv[2])) : -1;
    if (atOnce && early < 0)
        return 1;
    char buffer[65536];
    ssize_t got = read(0, buffer, sizeof buffer);
    if (got <= 0)
        return 0;  // closed before it sent anything: nothing to relay
    if (argc == 4) {
        timespec now = {};
        clock_gettime(CLOCK_MONOTONIC_RAW, &now);
        char line[64];
        const int length = std::snprintf(line, sizeof line, "%.3f\n", now.tv_sec * 1e3 + now.tv_nsec / 1e6);
        // One write of a whole line to a file opened for appending: relays of several connections never mix.
        const int log = open(argv[3], O_WRONLY | O_APPEND | O_CREAT, 0644);
        if (log >= 0) {
            WriteAll(log, line, length);
            close(log);
        }
    }
    const int far = atOnce ? early : Connect(argv[1], std::atoi(argv[2]));
    if (far < 0 || !WriteAll(far, buffer, got))
        return 1;
    bool clientOpen = true, farOpen = true;
    while (farOpen) {
        pollfd fds[2] = {{0, static_cast<short>(clientOpen ? POLLIN : 0), 0}, {far, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            return 1;
        if (clientOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            got = read(0, buffer, sizeof buffer);
            if (got <= 0) {
                clientOpen = false;
                shutdown(far, SHUT_WR);
            } else if (!WriteAll(far, buffer, got)) {
                return 1;
            }
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            got = read(far, buffer, sizeof buffer);
            if (got <= 0)
                farOpen = false;
            else if (!WriteAll(1, buffer, got))
                return 1;
        }
    }
    close(far);
    return 0;
}

// A native Linux program beside the terminal, as a trader's browser, chat or mail client is: it keeps idle
// connections of its own and, when asked, opens, uses and closes one more at a steady pace. Under wine its
// connections show in every table of the system without an owner. Loopback only; it ends by itself.
//
//   neighbour [--idle N] [--churn-ms P] [--seconds S] [--address A] [--ready FILE]
//
// N idle connections (default 12) to a listener of its own on A (default 127.0.0.1, a loopback address);
// with P, one more connection every P ms, a byte each way and closed by the client, which leaves it waiting
// in TIME-WAIT as a browser's do; S seconds in all (default 600); FILE is made once the idle connections
// stand.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    int idle = 12;
    int churnMs = 0;
    int seconds = 600;
    std::string address = "127.0.0.1";
    std::string ready;
};

Options ReadOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string word = argv[i];
        const char* value = argv[i + 1];
        if (word == "--idle")
            options.idle = std::atoi(value);
        else if (word == "--churn-ms")
            options.churnMs = std::atoi(value);
        else if (word == "--seconds")
            options.seconds = std::atoi(value);
        else if (word == "--address")
            options.address = value;
        else if (word == "--ready")
            options.ready = value;
        else {
            std::fprintf(stderr, "neighbour: unknown option %s\n", argv[i]);
            std::exit(2);
        }
    }
    return options;
}

// One connection to the listener and its accepted end; both -1 when it failed.
struct Pair {
    int client = -1;
    int server = -1;
};

Pair Connect(int listener, const sockaddr_in& to)
{
    Pair pair;
    pair.client = socket(AF_INET, SOCK_STREAM, 0);
    if (pair.client < 0)
        return pair;
    if (connect(pair.client, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        close(pair.client);
        pair.client = -1;
        return pair;
    }
    pair.server = accept(listener, nullptr, nullptr);
    return pair;
}

// A byte each way, as a page's request and its answer.
void Exchange(const Pair& pair)
{
    char byte = 1;
    if (write(pair.client, &byte, 1) == 1 && read(pair.server, &byte, 1) == 1 && write(pair.server, &byte, 1) == 1)
        [[maybe_unused]] const ssize_t answered = read(pair.client, &byte, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = ReadOptions(argc, argv);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    if (inet_pton(AF_INET, options.address.c_str(), &address.sin_addr) != 1 ||
        (ntohl(address.sin_addr.s_addr) >> 24) != 127) {
        std::fprintf(stderr, "neighbour: %s is no loopback address\n", options.address.c_str());
        return 2;
    }
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 64) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("neighbour: listener");
        return 1;
    }
    std::vector<Pair> idle;
    for (int i = 0; i < options.idle; ++i) {
        const Pair pair = Connect(listener, address);
        if (pair.server < 0) {
            std::perror("neighbour: idle connection");
            return 1;
        }
        Exchange(pair);
        idle.push_back(pair);
    }
    if (!options.ready.empty()) {
        if (FILE* file = std::fopen(options.ready.c_str(), "w"))
            std::fclose(file);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
    auto next = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < end) {
        if (options.churnMs <= 0) {
            std::this_thread::sleep_until(end);
            break;
        }
        next += std::chrono::milliseconds(options.churnMs);
        const Pair pair = Connect(listener, address);
        if (pair.server >= 0)
            Exchange(pair);
        // The client closes first, so its end waits in TIME-WAIT, as a browser's connections do.
        if (pair.client >= 0)
            close(pair.client);
        if (pair.server >= 0)
            close(pair.server);
        std::this_thread::sleep_until(next);
    }
    return 0;
}

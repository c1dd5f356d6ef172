// A wide-area link for the benchmark, on a Linux host: two tun devices, one in this network namespace and
// one in another, and every IPv4 packet the kernel routes into either comes out of the other a fixed delay
// later. Packets to a silent address are dropped: it answers nothing, not even an echo.
//
//   delay_line DEVICE FAR_NAMESPACE FAR_DEVICE DELAY_MS [SILENT_ADDRESS...]
//
// FAR_NAMESPACE is a network namespace's file (/proc/PID/ns/net). Both devices must exist there
// (ip tuntap add dev DEVICE mode tun), with their addresses and routes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <sched.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Packet {
    Clock::time_point due;
    std::vector<uint8_t> bytes;
};

int OpenTun(const char* name)
{
    const int device = open("/dev/net/tun", O_RDWR);
    ifreq request = {};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    if (device < 0 || ioctl(device, TUNSETIFF, &request) < 0) {
        std::perror("delay_line: tun device");
        std::exit(1);
    }
    return device;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: delay_line DEVICE FAR_NAMESPACE FAR_DEVICE DELAY_MS [SILENT_ADDRESS...]\n");
        return 2;
    }
    const auto delay = std::chrono::milliseconds(std::atoi(argv[4]));
    std::vector<in_addr_t> silent;
    for (int i = 5; i < argc; ++i)
        silent.push_back(inet_addr(argv[i]));

    // A tun device belongs to the namespace its opener is in.
    const int near = OpenTun(argv[1]);
    const int namespaceFile = open(argv[2], O_RDONLY);
    if (namespaceFile < 0 || setns(namespaceFile, CLONE_NEWNET) < 0) {
        std::perror("delay_line: far namespace");
        return 1;
    }
    const int far = OpenTun(argv[3]);
    // Every packet of a way waits the same delay, so each way stays in the order its packets came.
    struct Way {
        int from, to;
        std::deque<Packet> line;
    };
    Way ways[2] = {{near, far, {}}, {far, near, {}}};
    std::vector<uint8_t> buffer(65536);
    for (;;) {
        timespec wait = {};
        timespec* timeout = nullptr;
        for (const Way& way : ways) {
            if (way.line.empty())
                continue;
            const auto left = std::max(Clock::duration::zero(), way.line.front().due - Clock::now());
            const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            const timespec due = {time_t(nanoseconds / 1000000000), long(nanoseconds % 1000000000)};
            if (!timeout || due.tv_sec < wait.tv_sec || (due.tv_sec == wait.tv_sec && due.tv_nsec < wait.tv_nsec))
                wait = due;
            timeout = &wait;
        }
        pollfd readable[2] = {{near, POLLIN, 0}, {far, POLLIN, 0}};
        if (ppoll(readable, 2, timeout, nullptr) < 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (!(readable[i].revents & POLLIN))
                continue;
            const ssize_t got = read(ways[i].from, buffer.data(), buffer.size());
            if (got < 20 || buffer[0] >> 4 != 4)
                continue;
            in_addr_t destination = 0;
            std::memcpy(&destination, &buffer[16], 4);
            if (std::find(silent.begin(), silent.end(), destination) == silent.end())
                ways[i].line.push_back({Clock::now() + delay, {buffer.begin(), buffer.begin() + got}});
        }
        const auto now = Clock::now();
        for (Way& way : ways)
            for (; !way.line.empty() && way.line.front().due <= now; way.line.pop_front())
                if (write(way.to, way.line.front().bytes.data(), way.line.front().bytes.size()) < 0)
                    std::perror("delay_line: write");
    }
}

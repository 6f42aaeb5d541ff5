// smbsweep-bench: the TCP 445 sweep over 127.1.0.0/16 inside a network
// namespace made for the run, with 50 addresses listening on port 445 (each
// accepts and answers nothing, so every one of them costs the full exchange
// time-out). Prints wall time, connects, accepted ones and the peak number of
// descriptors the process held (sampled from /proc/self/fd while sweeping).
//
// usage: smbsweep-bench [--in-flight N]     (root)
#include "fixtures/netns.h"
#include "scan/smbsweep.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n - 3; // ".", ".." and the directory's own descriptor
}

} // namespace

int main(int argc, char** argv) {
    int inFlight = 256;
    if (argc == 3 && std::string(argv[1]) == "--in-flight")
        inFlight = std::max(1, std::atoi(argv[2]));
    const std::string why = ormix::testing::netnsUnavailableReason();
    if (!why.empty()) {
        std::fprintf(stderr, "smbsweep-bench %s\n", why.c_str());
        return 1;
    }
    ormix::testing::NetNamespace ns("smbbench");
    std::string error;
    if (!ns.create(error) || !ns.enter(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::vector<int> listeners;
    for (int i = 0; i < 50; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(445);
        const uint32_t a = (127u << 24) | (1u << 16) | static_cast<uint32_t>(1 + i * 1300);
        sa.sin_addr.s_addr = htonl(a);
        if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 8) != 0) {
            std::perror("listen");
            return 1;
        }
        listeners.push_back(fd);
    }
    const int before = openDescriptors();
    std::atomic<bool> done{false};
    std::atomic<int> peak{before};
    std::thread sampler([&] {
        while (!done) {
            peak = std::max(peak.load(), openDescriptors());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    ormix::SmbSweepOptions o;
    o.maxInFlight = inFlight;
    const auto start = std::chrono::steady_clock::now();
    const ormix::SmbSweepStats stats =
        ormix::smbSweep(ormix::AddressRange{(127u << 24) | (1u << 16), (127u << 24) | (1u << 16) | 0xFFFF}, o,
                        [](const ormix::SmbSweepHost&) {});
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    done = true;
    sampler.join();
    for (int fd : listeners)
        close(fd);
    std::printf(
        "| range | in flight cap | wall s | connects | accepted | peak in flight | descriptors before | "
        "peak descriptors |\n|---|---|---|---|---|---|---|---|\n");
    std::printf("| 127.1.0.0/16 | %d | %.2f | %lld | %lld | %d | %d | %d |\n", inFlight, wall,
                static_cast<long long>(stats.attempted), static_cast<long long>(stats.accepted),
                stats.peakInFlight, before, peak.load());
    return 0;
}

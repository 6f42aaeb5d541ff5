// tcp-delay: a TCP proxy that holds every segment for a fixed time before
// passing it on, in both directions, so a loopback test LAN behaves like a
// LAN with latency. For benchmarks inside a network namespace only.
//
// usage: tcp-delay [--delay-ms N] LISTEN_IP:PORT=TARGET_IP:PORT...
//
// Prints "ready" once every listener is bound; runs until SIGTERM/SIGINT.
#include "platform/fdio.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
std::chrono::microseconds g_delay{2000};

bool parseEndpoint(const std::string& text, sockaddr_in& out) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    const long port = std::strtol(text.c_str() + colon + 1, nullptr, 10);
    if (port <= 0 || port > 65535 || inet_pton(AF_INET, text.substr(0, colon).c_str(), &out.sin_addr) != 1)
        return false;
    out.sin_port = htons(static_cast<uint16_t>(port));
    return true;
}

// One direction of one connection: a reader stamps each segment, a writer
// sends it once its time has come. Closing the source half-closes the target.
class Pipe {
public:
    Pipe(int from, int to) : from_(from), to_(to) {}
    void run() {
        std::thread writer([this] { write(); });
        char buf[65536];
        for (;;) {
            const ssize_t n = ::recv(from_, buf, sizeof buf, 0);
            if (n < 0 && errno == EINTR)
                continue;
            std::lock_guard lock(mutex_);
            if (n <= 0) {
                eof_ = true;
                cv_.notify_all();
                break;
            }
            queue_.push_back({Clock::now() + g_delay, std::string(buf, static_cast<size_t>(n))});
            cv_.notify_all();
        }
        writer.join();
    }

private:
    struct Segment {
        Clock::time_point due;
        std::string data;
    };
    void write() {
        for (;;) {
            Segment s;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [this] { return !queue_.empty() || eof_; });
                if (queue_.empty()) {
                    ::shutdown(to_, SHUT_WR);
                    return;
                }
                s = std::move(queue_.front());
                queue_.pop_front();
            }
            std::this_thread::sleep_until(s.due);
            if (!ormix::sendAll(to_, s.data, MSG_NOSIGNAL)) {
                ::shutdown(from_, SHUT_RD);
                return;
            }
        }
    }
    int from_, to_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Segment> queue_;
    bool eof_ = false;
};

void serveConnection(int client, sockaddr_in target) {
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
        ::close(client);
        if (server >= 0)
            ::close(server);
        return;
    }
    int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Pipe up(client, server), down(server, client);
    std::thread t([&] { down.run(); });
    up.run();
    t.join();
    ::close(client);
    ::close(server);
}

void serveListener(int listener, sockaddr_in target) {
    for (;;) {
        const int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        std::thread(serveConnection, c, target).detach();
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<sockaddr_in, sockaddr_in>> routes;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--delay-ms" && i + 1 < argc) {
            g_delay = std::chrono::microseconds(static_cast<long>(std::strtod(argv[++i], nullptr) * 1000));
            continue;
        }
        const size_t eq = a.find('=');
        sockaddr_in from, to;
        if (eq == std::string::npos || !parseEndpoint(a.substr(0, eq), from) ||
            !parseEndpoint(a.substr(eq + 1), to)) {
            std::fprintf(stderr, "usage: tcp-delay [--delay-ms N] LISTEN_IP:PORT=TARGET_IP:PORT...\n");
            return 2;
        }
        routes.emplace_back(from, to);
    }
    if (routes.empty()) {
        std::fprintf(stderr, "usage: tcp-delay [--delay-ms N] LISTEN_IP:PORT=TARGET_IP:PORT...\n");
        return 2;
    }
    // Every thread inherits the blocked signals; main takes them with sigwait.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::vector<std::thread> listeners;
    for (auto& [from, to] : routes) {
        const int l = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(l, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (l < 0 || ::bind(l, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
            ::listen(l, 64) != 0) {
            std::perror("tcp-delay: bind");
            return 1;
        }
        listeners.emplace_back(serveListener, l, to);
    }
    std::puts("ready");
    std::fflush(stdout);
    int sig;
    sigwait(&set, &sig);
    std::_Exit(0);
}

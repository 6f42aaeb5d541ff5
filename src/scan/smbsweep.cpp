// The TCP 445 sweep: one poll loop over a bounded set of non-blocking
// connections, each a small state machine from connect to CHALLENGE.
#include "scan/smbsweep.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <vector>

namespace ormix {
namespace {

using Clock = std::chrono::steady_clock;

enum class Step { Connecting, SendNegotiate, ReadNegotiate, SendSessionSetup, ReadSessionSetup };

struct Connection {
    int fd = -1;
    uint32_t address = 0; // network byte order
    Step step = Step::Connecting;
    Clock::time_point deadline;
    std::vector<uint8_t> out;
    size_t sent = 0;
    std::array<uint8_t, 4> header{};
    size_t headerGot = 0;
    std::vector<uint8_t> message; // at most kSmbMaxMessage, sized from the header
    size_t messageGot = 0;
};

// The requests are the same for every host.
const std::vector<uint8_t>& negotiateRequest() {
    static const std::vector<uint8_t> r = smb2NegotiateRequest();
    return r;
}

const std::vector<uint8_t>& sessionSetupRequest() {
    static const std::vector<uint8_t> r = smb2SessionSetupRequest();
    return r;
}

int descriptorBudget(int wanted) {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY)
        return wanted;
    // Leave room for everything else the process holds.
    const auto spare = static_cast<int64_t>(lim.rlim_cur) - 64;
    return static_cast<int>(std::clamp<int64_t>(spare / 2, 1, wanted));
}

void closeConnection(Connection& c) {
    if (c.fd >= 0)
        close(c.fd);
    c = Connection{};
}

// Sends what is left of c.out; true when all of it is gone.
bool flush(Connection& c, bool& failed) {
    while (c.sent < c.out.size()) {
        const ssize_t n = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return false;
            if (errno == EINTR)
                continue;
            failed = true;
            return false;
        }
        c.sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads toward one whole message; true when it is complete. The buffer is
// sized from the announced length, which smbFrameLength bounds.
bool readMessage(Connection& c, bool& failed) {
    for (;;) {
        uint8_t* into;
        size_t want;
        if (c.headerGot < 4) {
            into = c.header.data() + c.headerGot;
            want = 4 - c.headerGot;
        } else {
            into = c.message.data() + c.messageGot;
            want = c.message.size() - c.messageGot;
        }
        const ssize_t n = recv(c.fd, into, want, 0);
        if (n == 0) {
            failed = true;
            return false;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                failed = true;
            return false;
        }
        if (c.headerGot < 4) {
            c.headerGot += static_cast<size_t>(n);
            if (c.headerGot == 4) {
                // A session keep-alive (type 0x85) carries nothing: skip it.
                if (c.header[0] == 0x85 && c.header[1] == 0 && c.header[2] == 0 && c.header[3] == 0) {
                    c.headerGot = 0;
                    continue;
                }
                const auto length = smbFrameLength(c.header.data());
                if (!length) {
                    failed = true;
                    return false;
                }
                c.message.assign(*length, 0);
                c.messageGot = 0;
            }
        } else {
            c.messageGot += static_cast<size_t>(n);
            if (c.messageGot == c.message.size())
                return true;
        }
    }
}

void startMessage(Connection& c, const std::vector<uint8_t>& request, Step step) {
    c.out = request;
    c.sent = 0;
    c.headerGot = 0;
    c.messageGot = 0;
    c.message.clear();
    c.step = step;
}

} // namespace

SmbSweepStats smbSweep(const AddressRange& range, const SmbSweepOptions& options,
                       const std::function<void(const SmbSweepHost&)>& found) {
    SmbSweepStats stats;
    const int maxInFlight = descriptorBudget(std::max(1, options.maxInFlight));
    std::vector<Connection> slots(static_cast<size_t>(maxInFlight));
    std::vector<pollfd> pfds;
    std::vector<size_t> pfdSlot;
    std::optional<uint32_t> cursor;
    bool walkOver = false;
    int inFlight = 0;
    const auto pacing = options.maxConnectsPerSecond > 0
                            ? std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) /
                                  options.maxConnectsPerSecond
                            : Clock::duration::zero();
    Clock::time_point nextConnect = Clock::now();

    auto finish = [&](Connection& c) {
        closeConnection(c);
        --inFlight;
    };

    while (!walkOver || inFlight > 0) {
        if (options.stopRequested && options.stopRequested())
            break;
        auto now = Clock::now();
        // Fill free slots with new connects.
        for (size_t i = 0; i < slots.size() && !walkOver && inFlight < maxInFlight; ++i) {
            if (slots[i].fd >= 0)
                continue;
            if (pacing > Clock::duration::zero() && now < nextConnect)
                break;
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0)
                break; // out of descriptors: try again when one is freed
            uint32_t next = 0;
            if (!stepAddress(range, cursor, next)) {
                close(fd);
                walkOver = true;
                break;
            }
            cursor = next;
            ++stats.attempted;
            if (pacing > Clock::duration::zero())
                nextConnect = std::max(nextConnect, now - std::chrono::milliseconds(2)) + pacing;
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(options.port);
            to.sin_addr.s_addr = next;
            if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
                close(fd);
                continue;
            }
            Connection& c = slots[i];
            c.fd = fd;
            c.address = next;
            c.step = Step::Connecting;
            c.deadline = now + options.connectTimeout;
            ++inFlight;
        }
        stats.peakInFlight = std::max(stats.peakInFlight, inFlight);

        pfds.clear();
        pfdSlot.clear();
        Clock::time_point wake = now + std::chrono::milliseconds(100);
        for (size_t i = 0; i < slots.size(); ++i) {
            const Connection& c = slots[i];
            if (c.fd < 0)
                continue;
            short events = POLLIN;
            if (c.step == Step::Connecting || c.step == Step::SendNegotiate ||
                c.step == Step::SendSessionSetup)
                events = POLLOUT;
            pfds.push_back({c.fd, events, 0});
            pfdSlot.push_back(i);
            wake = std::min(wake, c.deadline);
        }
        if (!walkOver && pacing > Clock::duration::zero() && inFlight < maxInFlight)
            wake = std::min(wake, nextConnect);
        if (pfds.empty() && walkOver)
            break;
        const auto waitMs =
            std::chrono::ceil<std::chrono::milliseconds>(std::max(wake - now, Clock::duration::zero()));
        const int n = poll(pfds.data(), pfds.size(), static_cast<int>(waitMs.count()));
        if (n < 0 && errno != EINTR)
            break;
        now = Clock::now();
        for (size_t k = 0; k < pfds.size(); ++k) {
            Connection& c = slots[pfdSlot[k]];
            const short re = n > 0 ? pfds[k].revents : 0;
            bool failed = false;
            if (re != 0) {
                if (c.step == Step::Connecting) {
                    int err = 0;
                    socklen_t len = sizeof err;
                    if (getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
                        failed = true;
                    } else {
                        ++stats.accepted;
                        const int one = 1;
                        setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                        c.deadline = now + options.exchangeTimeout;
                        startMessage(c, negotiateRequest(), Step::SendNegotiate);
                    }
                }
                if (!failed && (c.step == Step::SendNegotiate || c.step == Step::SendSessionSetup)) {
                    if (flush(c, failed))
                        c.step = c.step == Step::SendNegotiate ? Step::ReadNegotiate : Step::ReadSessionSetup;
                } else if (!failed && (re & (POLLIN | POLLHUP | POLLERR)) != 0) {
                    if (readMessage(c, failed)) {
                        if (c.step == Step::ReadNegotiate) {
                            if (isSmb2NegotiateResponse(c.message.data(), c.message.size()))
                                startMessage(c, sessionSetupRequest(), Step::SendSessionSetup);
                            else
                                failed = true;
                        } else {
                            SmbSweepHost host;
                            host.address = c.address;
                            if (auto id = parseSessionSetupResponse(c.message.data(), c.message.size())) {
                                host.identified = true;
                                host.identity = std::move(*id);
                            }
                            ++stats.answered;
                            found(host);
                            finish(c);
                            continue;
                        }
                    }
                }
            }
            if (failed || now >= c.deadline) {
                // A server that spoke SMB2 but gave no challenge in time is
                // still a server: it is reported without a name.
                if (c.step == Step::SendSessionSetup || c.step == Step::ReadSessionSetup) {
                    SmbSweepHost host;
                    host.address = c.address;
                    ++stats.answered;
                    found(host);
                }
                finish(c);
            }
        }
    }
    for (Connection& c : slots)
        if (c.fd >= 0)
            closeConnection(c);
    return stats;
}

} // namespace ormix

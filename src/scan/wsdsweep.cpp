// The WS-Discovery sweep: one UDP socket for the Probe and its answers, and a
// bounded set of non-blocking HTTP fetches of the responders' metadata, all
// in one poll loop.
#include "scan/wsdsweep.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <optional>
#include <set>

namespace ormix {
namespace {

using Clock = std::chrono::steady_clock;

// The Probe goes out twice, as SOAP-over-UDP repeats multicast messages, in
// case the first is lost.
constexpr auto kProbeRepeat = std::chrono::milliseconds(250);

struct Interface {
    unsigned index = 0;
    std::string name;
};

bool inRanges(const std::vector<AddressRange>& ranges, uint32_t hostOrder) {
    return std::any_of(ranges.begin(), ranges.end(), [hostOrder](const AddressRange& r) {
        return hostOrder >= r.first && hostOrder <= r.last;
    });
}

// The up, multicast-capable interfaces with an IPv4 subnet that overlaps a range.
std::vector<Interface> interfacesFor(const std::vector<AddressRange>& ranges) {
    std::vector<Interface> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_netmask)
            continue;
        if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_MULTICAST) == 0)
            continue;
        const uint32_t addr = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
        const uint32_t mask = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
        const uint32_t low = addr & mask;
        const uint32_t high = low | ~mask;
        const bool overlaps = std::any_of(ranges.begin(), ranges.end(), [&](const AddressRange& r) {
            return r.first <= high && r.last >= low;
        });
        const unsigned index = if_nametoindex(i->ifa_name);
        if (!overlaps || index == 0)
            continue;
        if (std::none_of(out.begin(), out.end(), [index](const Interface& f) { return f.index == index; }))
            out.push_back({index, i->ifa_name});
    }
    freeifaddrs(list);
    return out;
}

struct Fetch {
    uint32_t address = 0; // network byte order
    WsdHttpTarget target;
    std::string endpoint;
    int fd = -1;
    bool connected = false;
    std::string out;
    size_t sent = 0;
    std::string in;
    Clock::time_point deadline;
};

void closeFetch(Fetch& f) {
    if (f.fd >= 0)
        close(f.fd);
    f.fd = -1;
}

// Starts the connect of f; false when it failed at once.
bool startFetch(Fetch& f, const WsdSweepOptions& options) {
    f.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (f.fd < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(f.target.port);
    to.sin_addr.s_addr = f.address;
    if (connect(f.fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
        closeFetch(f);
        return false;
    }
    f.out = wsdHttpRequest(dottedAddress(f.address), f.target, wsdGetMessage(wsdNewMessageId(), f.endpoint));
    f.deadline = Clock::now() + options.fetchTimeout;
    return true;
}

enum class Progress { Going, Done, Failed };

// One step of a fetch whose socket is ready; Done leaves the body in `body`.
Progress stepFetch(Fetch& f, std::optional<WsdComputer>& computer) {
    if (!f.connected) {
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(f.fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0)
            return Progress::Failed;
        f.connected = true;
    }
    while (f.sent < f.out.size()) {
        const ssize_t n = send(f.fd, f.out.data() + f.sent, f.out.size() - f.sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? Progress::Going : Progress::Failed;
        }
        f.sent += static_cast<size_t>(n);
    }
    char buffer[8192];
    for (;;) {
        const size_t room = kWsdMaxResponse - f.in.size();
        const ssize_t n = recv(f.fd, buffer, std::min(sizeof buffer, room + 1), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return Progress::Failed;
            break;
        }
        if (static_cast<size_t>(n) > room)
            return Progress::Failed; // larger than any metadata we read
        f.in.append(buffer, static_cast<size_t>(n));
        bool failed = false;
        const auto body = httpResponseBody(f.in, n == 0, failed);
        if (failed)
            return Progress::Failed;
        if (body) {
            computer = parseMetadataComputer(*body);
            return Progress::Done;
        }
        if (n == 0)
            return Progress::Failed;
    }
    return Progress::Going;
}

int openProbeSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0)
        return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    const unsigned char ttl = 1; // never past the first router
    const unsigned char loop = 1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends the Probe on every interface; the number it went out on.
int sendProbe(int fd, const std::vector<Interface>& interfaces, const std::string& probe, uint16_t port) {
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(port);
    inet_pton(AF_INET, kWsdMulticastGroup, &group.sin_addr);
    int sent = 0;
    for (const Interface& i : interfaces) {
        ip_mreqn via{};
        via.imr_ifindex = static_cast<int>(i.index);
        if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &via, sizeof via) != 0)
            continue;
        if (sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&group), sizeof group) ==
            static_cast<ssize_t>(probe.size()))
            ++sent;
    }
    return sent;
}

} // namespace

WsdSweepStats wsdSweep(const std::vector<AddressRange>& ranges, const WsdSweepOptions& options,
                       const std::function<void(const WsdSweepHost&)>& found,
                       const std::function<void(const std::string&)>& log) {
    WsdSweepStats stats;
    const std::vector<Interface> interfaces = interfacesFor(ranges);
    if (interfaces.empty()) {
        log("WS-Discovery: no multicast interface carries the scanned ranges");
        return stats;
    }
    const int fd = openProbeSocket();
    if (fd < 0) {
        log("WS-Discovery: cannot open a socket");
        return stats;
    }
    const std::string messageId = wsdNewMessageId();
    const std::string probe = wsdProbeMessage(messageId);
    stats.interfaces = sendProbe(fd, interfaces, probe, options.port);
    std::string names;
    for (const Interface& i : interfaces)
        names += (names.empty() ? "" : ", ") + i.name;
    log("WS-Discovery: probe sent on " + names);

    const auto start = Clock::now();
    const auto listenEnd = start + options.listenTime;
    const auto repeatAt = start + kProbeRepeat;
    bool repeated = false;
    std::set<uint32_t> responders; // network byte order
    std::deque<Fetch> waiting;
    std::vector<Fetch> running;
    std::vector<char> datagram(kWsdMaxDatagram + 1);
    const size_t maxFetches = static_cast<size_t>(std::max(1, options.maxConcurrentFetches));

    const auto report = [&](uint32_t address, const std::optional<WsdComputer>& computer) {
        WsdSweepHost host;
        host.address = address;
        if (computer) {
            host.identified = true;
            host.computer = *computer;
        }
        found(host);
    };

    std::vector<pollfd> pfds;
    for (;;) {
        if (options.stopRequested && options.stopRequested())
            break;
        auto now = Clock::now();
        const bool listening = now < listenEnd;
        if (!listening && waiting.empty() && running.empty())
            break;
        if (!repeated && now >= repeatAt) {
            sendProbe(fd, interfaces, probe, options.port);
            repeated = true;
        }
        while (running.size() < maxFetches && !waiting.empty()) {
            Fetch f = std::move(waiting.front());
            waiting.pop_front();
            if (startFetch(f, options))
                running.push_back(std::move(f));
            else
                report(f.address, std::nullopt);
        }

        pfds.clear();
        Clock::time_point wake = listening ? listenEnd : now + std::chrono::seconds(1);
        if (!repeated)
            wake = std::min(wake, repeatAt);
        pfds.push_back({fd, static_cast<short>(listening ? POLLIN : 0), 0});
        for (const Fetch& f : running) {
            pfds.push_back(
                {f.fd, static_cast<short>(f.connected && f.sent == f.out.size() ? POLLIN : POLLOUT), 0});
            wake = std::min(wake, f.deadline);
        }
        const auto waitMs =
            std::chrono::ceil<std::chrono::milliseconds>(std::max(wake - now, Clock::duration::zero()));
        // A short wait keeps the stop request answered promptly.
        const int n =
            poll(pfds.data(), pfds.size(), static_cast<int>(std::min<int64_t>(waitMs.count(), 200)));
        if (n < 0 && errno != EINTR)
            break;
        now = Clock::now();

        if (listening && n > 0 && (pfds[0].revents & POLLIN) != 0) {
            for (int burst = 0; burst < 64; ++burst) {
                sockaddr_in from{};
                socklen_t fromLen = sizeof from;
                const ssize_t got = recvfrom(fd, datagram.data(), datagram.size(), MSG_TRUNC,
                                             reinterpret_cast<sockaddr*>(&from), &fromLen);
                if (got < 0)
                    break;
                const uint32_t source = from.sin_addr.s_addr;
                if (responders.count(source) != 0)
                    continue; // its answer to the repeated Probe
                if (static_cast<size_t>(got) > kWsdMaxDatagram || !inRanges(ranges, ntohl(source)) ||
                    responders.size() >= options.maxResponders) {
                    ++stats.ignored;
                    continue;
                }
                const auto matches =
                    parseProbeMatches(std::string_view(datagram.data(), static_cast<size_t>(got)));
                if (!matches || matches->relatesTo != messageId || matches->matches.empty()) {
                    ++stats.ignored;
                    continue;
                }
                responders.insert(source);
                ++stats.answers;
                const WsdProbeMatch& match = matches->matches.front();
                Fetch f;
                f.address = source;
                f.endpoint = match.endpoint;
                if (auto target = wsdHttpTarget(match.xaddrs, dottedAddress(source))) {
                    f.target = *target;
                    waiting.push_back(std::move(f));
                } else {
                    report(source, std::nullopt); // found, but it offers no metadata at its own address
                }
            }
        }

        for (size_t k = 0; k < running.size();) {
            Fetch& f = running[k];
            const pollfd* p = nullptr;
            for (size_t j = 1; j < pfds.size(); ++j)
                if (pfds[j].fd == f.fd)
                    p = &pfds[j];
            std::optional<WsdComputer> computer;
            Progress progress = Progress::Going;
            if (n > 0 && p && p->revents != 0)
                progress = stepFetch(f, computer);
            if (progress == Progress::Going && now >= f.deadline)
                progress = Progress::Failed;
            if (progress == Progress::Going) {
                ++k;
                continue;
            }
            if (progress == Progress::Done)
                ++stats.fetched;
            report(f.address, computer);
            closeFetch(f);
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(k));
        }
    }
    for (Fetch& f : running)
        closeFetch(f);
    close(fd);
    if (stats.ignored > 0)
        log("WS-Discovery: ignored " + std::to_string(stats.ignored) + " datagrams");
    return stats;
}

} // namespace ormix

// The scanner thread: socket preparation, the sweep over each range, the
// round-trip estimate and the reports to the owner.
#include "scan/scanner.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <thread>

namespace ormix {
namespace {

constexpr size_t kReceiveBufferSize = 2048;

// Answers that queue up while queries go out at full speed: a /16 with a few
// thousand hosts answers in bursts far larger than the kernel's default UDP
// queue (about 500 datagrams), and whatever overflows it is lost silently.
constexpr int kSocketQueueBytes = 8 * 1024 * 1024;
// Answers taken in one pass beyond the first, so a burst is emptied at once
// while the sending still gets a turn between bursts.
constexpr int kExtraReadsPerPass = 256;

// The longest the closing wait may grow beyond one select timeout for a slow
// round trip. Stray datagrams never extend it.
constexpr auto kClosingRoundTripCap = std::chrono::seconds(5);
// How long the answers to one pass are awaited before the next pass starts.
constexpr auto kRetryGrace = std::chrono::milliseconds(500);
// Addresses stepped over (already answered) in one turn of a retry pass.
constexpr int kSkipsPerTurn = 4096;
// Queries that may go out at once after a pause of the pacing.
constexpr auto kPacingBurst = std::chrono::milliseconds(2);

// The names the log has always used for bind failures.
const char* bindErrorName(int err) {
    switch (err) {
    case EACCES:
        return "WSA EACCES";
    case EFAULT:
        return "WSA FAULT";
    case EINVAL:
        return "WSA INVAL";
    case EINPROGRESS:
        return "WSA INPROGRESS";
    case ENOTSOCK:
        return "WSA NOT SOCK";
    case EADDRINUSE:
        return "WSA ADDR INUSE";
    case EADDRNOTAVAIL:
        return "WSA ADDR NOT AVAIL";
    case ENETDOWN:
        return "WSA NET DOWN";
    case ENOBUFS:
        return "WSA NOBUFS";
    default:
        return "";
    }
}

} // namespace

std::string discoveryMethodNames(unsigned methods) {
    std::string out;
    for (const auto& [bit, name] : {std::pair{kFoundByNetbios, "netbios"}, std::pair{kFoundBySmb, "smb"},
                                    std::pair{kFoundByWsd, "wsd"}}) {
        if ((methods & bit) == 0)
            continue;
        if (!out.empty())
            out += ',';
        out += name;
    }
    return out;
}

std::string discoveryMethodLabels(unsigned methods) {
    std::string out;
    for (const auto& [bit, name] :
         {std::pair{kFoundByNetbios, "NetBIOS"}, std::pair{kFoundBySmb, "Порт SMB (445)"},
          std::pair{kFoundByWsd, "WS-Discovery"}}) {
        if ((methods & bit) == 0)
            continue;
        if (!out.empty())
            out += ", ";
        out += name;
    }
    return out;
}

bool parseDiscoveryMethods(const std::string& text, unsigned& methods) {
    unsigned bits = 0;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string word =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (word == "netbios")
            bits |= kFoundByNetbios;
        else if (word == "smb")
            bits |= kFoundBySmb;
        else if (word == "wsd")
            bits |= kFoundByWsd;
        else
            return false;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    methods = bits;
    return true;
}

Scanner::Scanner(ScanOptions options, std::shared_ptr<ScanObserver> observer)
    : options_(std::move(options)), observer_(std::move(observer)) {
    if (!options_.ranges)
        options_.ranges = std::make_shared<const std::vector<std::string>>();
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Scanner::~Scanner() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach(); // the scanner's last owner was its own thread, which ends now
        } else {
            requestStop();
            thread_.join();
        }
    }
    releaseScanResources();
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

void Scanner::start() {
    thread_ = std::thread([self = shared_from_this()] { self->run(); });
}

void Scanner::requestStop() {
    stopRequested_ = true;
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
    }
}

void Scanner::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void Scanner::log(const std::string& line) {
    observer_->logLine(line);
}

void Scanner::run() {
    try {
        scan();
    } catch (const std::exception&) {
        // A failing configuration read ends the scan quietly; the owner still
        // learns of the end.
    }
    releaseScanResources();
    observer_->finished();
}

void Scanner::scan() {
    queriesSent_ = 0;
    reported_.clear();
    progressShown_ = -1;
    port_ = options_.firstPort;
    log("Trying to bind port " + std::to_string(port_));
    int rc = prepareSocket();
    while (rc == EADDRINUSE) {
        log("Port port " + std::to_string(port_) + " in use");
        ++port_;
        log("Trying to bind port " + std::to_string(port_));
        rc = prepareSocket();
    }
    if (rc != 0) {
        log("Critical error: sock_prepare() failed!");
        return;
    }
    log("Port " + std::to_string(port_) + " is ok..");

    const int64_t total =
        countScanAddresses(*options_.ranges, [this] { observer_->fatalMessage("Malloc failed"); });
    observer_->progressTotal(total);

    struct WsdJoiner {
        Scanner& scanner;
        ~WsdJoiner() { scanner.joinWsd(); }
    } wsdJoiner{*this};
    if (options_.methods & kFoundByWsd)
        startWsd();
    for (size_t i = 0; i < options_.ranges->size(); ++i) {
        if (stopRequested_)
            break;
        scanRange((*options_.ranges)[i], i);
    }
    showProgress(true);
}

void Scanner::startWsd() {
    std::vector<AddressRange> ranges;
    for (const std::string& text : *options_.ranges) {
        AddressRange r;
        try {
            if (parseRangeText(text, r))
                ranges.push_back(r);
        } catch (const std::bad_alloc&) {
        }
    }
    wsdHosts_.clear();
    wsdLog_.clear();
    if (ranges.empty())
        return;
    WsdSweepOptions wsd = options_.wsd;
    wsd.stopRequested = [this] { return stopRequested_.load(); };
    wsdThread_ = std::thread([this, ranges = std::move(ranges), wsd] {
        wsdSweep(
            ranges, wsd, [this](const WsdSweepHost& h) { wsdHosts_.push_back(h); },
            [this](const std::string& line) { wsdLog_.push_back(line); });
    });
}

void Scanner::joinWsd() {
    if (!wsdThread_.joinable())
        return;
    wsdThread_.join();
    for (const std::string& line : wsdLog_)
        log(line);
    wsdLog_.clear();
}

int Scanner::prepareSocket() {
    releaseScanResources();
    cursor_.reset();
    srtt_ = 0.0f;
    rttvar_ = 0.75f;
    sending_ = true;
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd_ < 0) {
        log("Failed to create socket");
        return 1;
    }
    // There is no port above 65535: rather than let the number wrap to an
    // arbitrary port, the attempt fails as an invalid argument.
    int err = 0;
    if (port_ > 65535) {
        err = EINVAL;
    } else {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(static_cast<uint16_t>(port_));
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
            err = errno;
    }
    if (err != 0) {
        log(std::string("Failed to bind (err: ") + bindErrorName(err) + " )");
        releaseScanResources();
        return err;
    }
    // A larger queue is best effort: root may exceed the system's cap, anyone
    // else gets what the cap allows.
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &kSocketQueueBytes, sizeof kSocketQueueBytes) != 0)
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &kSocketQueueBytes, sizeof kSocketQueueBytes);
    buffer_.assign(kReceiveBufferSize, 0);
    scanStartSecond_ = readClock().seconds;
    return 0;
}

// One select over the wanted sets with the range's timeout. Returns the number
// of ready sets' sockets (0 or 1), 0 on timeout, -1 on error; each set keeps
// the socket only when it is ready.
int Scanner::selectReady(bool& readSet, bool& writeSet) {
    if (stopRequested_) {
        readSet = writeSet = false;
        return 0; // as a timeout: the range ends
    }
    pollfd fds[2] = {{fd_, 0, 0}, {wakeFd_, POLLIN, 0}};
    pollfd& p = fds[0];
    if (readSet)
        p.events |= POLLIN;
    if (writeSet)
        p.events |= POLLOUT;
    const int64_t ns = int64_t{timeout_.seconds} * 1000000000 + int64_t{timeout_.microseconds} * 1000;
    if (ns < 0) {
        readSet = writeSet = false;
        return -1;
    }
    const timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    int n;
    do {
        n = ppoll(fds, wakeFd_ >= 0 ? 2 : 1, &ts, nullptr);
    } while (n < 0 && errno == EINTR);
    if (n > 0 && fds[1].revents != 0) {
        readSet = writeSet = false;
        return 0; // requestStop()
    }
    if (n <= 0) {
        readSet = writeSet = false;
        return n;
    }
    readSet = readSet && (p.revents & (POLLIN | POLLERR)) != 0;
    writeSet = writeSet && (p.revents & (POLLOUT | POLLERR)) != 0;
    return 1;
}

// True when a datagram is waiting right now.
bool Scanner::datagramWaiting() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

// Receives one datagram; false when the pass ends here (nothing is sent in it).
bool Scanner::receiveOne() {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = sourceAddress_;
    socklen_t fromLen = sizeof from;
    const ssize_t got =
        recvfrom(fd_, buffer_.data(), buffer_.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    sourceAddress_ = from.sin_addr.s_addr;
    if (got <= 0) {
        const uint32_t h = ntohl(sourceAddress_);
        if (got == 0 && (!queriedUpTo_ || h < range_.first || h > *queriedUpTo_)) {
            ignore(sourceAddress_, "not queried");
            return false;
        }
        log("Recvfrom failed (" + dottedAddress(sourceAddress_) + ")");
        return false;
    }
    const ClockReading received = readClock();
    const auto answer = parseResponse(buffer_.data(), static_cast<size_t>(got));
    if (!answer) {
        log("parse_response returned NULL");
        return false;
    }
    if (!answersOurQuery(sourceAddress_, *answer, received))
        return true;
    if (!answered_.add(ntohl(sourceAddress_)))
        return true;
    const int32_t sample =
        received.seconds + received.microseconds / 1000000 - scanStartSecond_ - answer->header->trnId / 1000;
    const double delta = static_cast<double>(sample) - srtt_;
    srtt_ = static_cast<float>(srtt_ + 0.125 * delta);
    rttvar_ = static_cast<float>(rttvar_ + 0.25 * (std::fabs(delta) - rttvar_));
    reportHost(*answer, sourceAddress_);
    return true;
}

// Only an answer from an address of this range that was already queried, and
// carrying a transaction id sent since the range started, is taken. Anyone on
// the network can send us datagrams; without this check each forged source
// became a computer of the list.
bool Scanner::answersOurQuery(uint32_t source, const NodeStatusAnswer& answer, const ClockReading& received) {
    const uint32_t h = ntohl(source);
    if (!queriedUpTo_ || h < range_.first || h > *queriedUpTo_) {
        ignore(source, "not queried");
        return false;
    }
    if (!answer.header) {
        ignore(source, "no transaction id");
        return false;
    }
    // Ids are milliseconds modulo 65536: after that long every id is one we
    // may have sent.
    if (std::chrono::steady_clock::now() - rangeStart_ < std::chrono::milliseconds(65000)) {
        const uint16_t sinceStart = static_cast<uint16_t>(answer.header->trnId - rangeStartId_);
        const uint16_t window =
            static_cast<uint16_t>(transactionId(received, scanStartSecond_) - rangeStartId_);
        if (sinceStart > window) {
            ignore(source, "unexpected transaction id");
            return false;
        }
    }
    return true;
}

void Scanner::ignore(uint32_t source, const char* why) {
    // The first of each kind is named; the rest are only counted in the
    // range's summary line, so a flood cannot flood the log.
    ++ignoredTotal_;
    ++ignored_;
    if (ignoredKinds_.insert(why).second)
        log("Ignored a datagram from " + dottedAddress(source) + " (" + why + ")");
}

void Scanner::reportHost(const NodeStatusAnswer& answer, uint32_t source) {
    HostTexts host = describeHost(answer, source);
    host.foundBy = kFoundByNetbios;
    if (options_.methods == kFoundByNetbios) {
        if (reported_.insert(ntohl(source)).second)
            observer_->foundHost(host);
    } else {
        heldBack_.push_back(std::move(host));
    }
}

// One report per address of the range: the node-status answer with what the
// other methods add (a name or workgroup it lacked, their method bits), then
// the computers only the other methods found, all in address order. An
// address an earlier range of the scan reported is not reported again.
void Scanner::reportMerged(const std::vector<SmbSweepHost>& smbHosts) {
    std::map<uint32_t, HostTexts> merged; // host byte order
    for (HostTexts& h : heldBack_)
        merged.emplace(ntohl(inet_addr(h.ip.c_str())), std::move(h));
    heldBack_.clear();
    // The entry of an address (network byte order), new ones unnamed.
    const auto hostAt = [&merged](uint32_t networkOrder) -> HostTexts& {
        auto [it, added] = merged.try_emplace(ntohl(networkOrder));
        if (added) {
            it->second.name = "<unknown>";
            it->second.ip = dottedAddress(networkOrder);
        }
        return it->second;
    };
    for (const SmbSweepHost& s : smbHosts) {
        HostTexts& h = hostAt(s.address);
        h.foundBy |= kFoundBySmb;
        if (!s.identified)
            continue;
        if (h.name == "<unknown>" && !s.identity.netbiosComputer.empty())
            h.name = s.identity.netbiosComputer;
        // A stand-alone server names itself as its domain; that is no
        // workgroup, so it is left out.
        if (h.workgroup.empty() && s.identity.netbiosDomain != s.identity.netbiosComputer)
            h.workgroup = s.identity.netbiosDomain;
    }
    joinWsd();
    for (const WsdSweepHost& w : wsdHosts_) {
        const uint32_t address = ntohl(w.address);
        if (address < range_.first || address > range_.last)
            continue;
        HostTexts& h = hostAt(w.address);
        h.foundBy |= kFoundByWsd;
        if (!w.identified)
            continue;
        if (h.name == "<unknown>")
            h.name = w.computer.name;
        if (h.workgroup.empty())
            h.workgroup = w.computer.workgroup;
    }
    for (auto& [address, host] : merged) {
        if (reported_.insert(address).second)
            observer_->foundHost(host);
    }
}

void Scanner::showProgress(bool final) {
    const auto now = std::chrono::steady_clock::now();
    if (queriesSent_ == progressShown_)
        return;
    if (!final && now - lastProgress_ < options_.progressInterval)
        return;
    lastProgress_ = now;
    progressShown_ = queriesSent_;
    observer_->progress(queriesSent_);
}

bool Scanner::scanRange(const std::string& text, size_t index) {
    try {
        if (!parseRangeText(text, range_)) {
            log("not an IP address or address range: \"" + text + "\"");
            return false;
        }
    } catch (const std::bad_alloc&) {
        observer_->fatalMessage("Malloc failed");
        log("not an IP address or address range: \"" + text + "\"");
        return false;
    }
    using Clock = std::chrono::steady_clock;
    heldBack_.clear();
    // The SMB sweep of the range runs beside the node-status sweep, on a
    // thread of its own that this range joins before it reports.
    std::vector<SmbSweepHost> smbHosts;
    std::thread smbThread;
    if (options_.methods & kFoundBySmb) {
        SmbSweepOptions smb = options_.smb;
        if (smb.maxConnectsPerSecond == 0)
            smb.maxConnectsPerSecond = options_.maxQueriesPerSecond;
        smbThread = std::thread([range = range_, smb, &smbHosts] {
            smbSweep(range, smb, [&smbHosts](const SmbSweepHost& h) { smbHosts.push_back(h); });
        });
    }
    struct Joiner {
        std::thread& t;
        ~Joiner() {
            if (t.joinable())
                t.join();
        }
    } joiner{smbThread};
    if ((options_.methods & kFoundByNetbios) == 0) {
        if (smbThread.joinable())
            smbThread.join();
        reportMerged(smbHosts);
        return true;
    }
    answered_ = AnsweredSet();
    timeout_ = options_.selectTimeout ? options_.selectTimeout() : SelectTimeout{};
    const int retries = std::clamp(options_.retries, 0, 2);
    pass_ = 0;
    ignored_ = 0;
    ignoredKinds_.clear();
    queriedUpTo_.reset();
    cursor_.reset();
    sending_ = true;

    const int sweep = 0; // the wait below is that of a single sweep
    const ClockReading sweepStart = readClock();
    rangeStartId_ = transactionId(sweepStart, scanStartSecond_);
    rangeStart_ = Clock::now();
    nextSend_ = rangeStart_;
    bool readSet = true;
    bool writeSet = true;
    int n = selectReady(readSet, writeSet);
    if (n < 0) {
        log("ERROR (select()=SOCKET_ERROR)");
        if (options_.methods != kFoundByNetbios) {
            if (smbThread.joinable())
                smbThread.join();
            reportMerged(smbHosts);
        }
        return false;
    }
    const auto selectWait = std::chrono::duration_cast<Clock::duration>(
        std::chrono::seconds(timeout_.seconds) + std::chrono::microseconds(timeout_.microseconds));
    const auto pacing = options_.maxQueriesPerSecond > 0
                            ? std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) /
                                  options_.maxQueriesPerSecond
                            : Clock::duration::zero();
    // Set when the last pass has sent its last query: the end of the range,
    // whatever still arrives.
    std::optional<Clock::time_point> closingEnd;
    std::optional<Clock::time_point> nextPassAt;
    while (n > 0) {
        const auto now = Clock::now();
        if (nextPassAt && now >= *nextPassAt) {
            nextPassAt.reset();
            ++pass_;
            cursor_.reset();
            sending_ = true;
        }
        // Once every address of the range has answered, nothing more can come
        // but copies and strays: the closing wait ends there.
        const bool allAnswered = answered_.size() == uint64_t{range_.last} - range_.first + 1;
        if (closingEnd && (now >= *closingEnd || allAnswered ||
                           (options_.rangeComplete && options_.rangeComplete(index, answered_.size())))) {
            n = 0;
            break;
        }
        // A pass may both receive and send; the wait is cut short for the
        // pacing, the next pass or the end of the closing wait, and such a
        // cut-short wait is no time-out of the range.
        auto wait = selectWait;
        bool shortened = false;
        auto limitTo = [&](Clock::time_point t) {
            if (t - now < wait) {
                wait = std::max(t - now, Clock::duration::zero());
                shortened = true;
            }
        };
        writeSet = sending_;
        if (sending_ && pacing > Clock::duration::zero() && now < nextSend_) {
            writeSet = false;
            limitTo(nextSend_);
        }
        if (nextPassAt)
            limitTo(*nextPassAt);
        if (closingEnd)
            limitTo(*closingEnd);
        readSet = true;
        const SelectTimeout saved = timeout_;
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(wait).count();
        timeout_ = SelectTimeout{static_cast<int32_t>(us / 1000000), static_cast<int32_t>(us % 1000000)};
        n = selectReady(readSet, writeSet);
        timeout_ = saved;
        if (n == 0 && shortened) {
            n = 1;
            continue;
        }
        if (readSet) {
            if (!receiveOne())
                continue;
            for (int extra = 0; extra < kExtraReadsPerPass && datagramWaiting(); ++extra)
                receiveOne();
        }
        if (sending_ && writeSet) {
            uint32_t next = 0;
            bool more = stepAddress(range_, cursor_, next);
            // A retry pass steps over the addresses that answered, a bounded
            // number at a time so receiving keeps its turn.
            for (int skip = 0; more && pass_ > 0 && answered_.contains(ntohl(next)) && skip < kSkipsPerTurn;
                 ++skip) {
                cursor_ = next;
                more = stepAddress(range_, cursor_, next);
            }
            if (!more) {
                sending_ = false;
                if (pass_ == 0)
                    showProgress(true);
                if (pass_ < retries)
                    nextPassAt =
                        Clock::now() +
                        std::min(selectWait, std::chrono::duration_cast<Clock::duration>(kRetryGrace));
                else
                    closingEnd = Clock::now() + selectWait +
                                 std::min(std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(std::max(srtt_, 0.0f))),
                                          std::chrono::duration_cast<Clock::duration>(kClosingRoundTripCap));
                continue;
            }
            if (!answered_.contains(ntohl(next))) {
                if (pass_ == 0) {
                    ++queriesSent_;
                    queriedUpTo_ = ntohl(next);
                    showProgress(false);
                } else {
                    ++retriesSent_;
                }
                sendStatusQuery(fd_, next, scanStartSecond_);
                if (pacing > Clock::duration::zero())
                    nextSend_ = std::max(nextSend_, Clock::now() - kPacingBurst) + pacing;
            } else if (pass_ == 0) {
                queriedUpTo_ = ntohl(next);
            }
            cursor_ = next;
        }
    }
    if (ignored_ > 0)
        log("Ignored " + std::to_string(ignored_) + " datagrams that answer no query of this range");
    log("socket h cnt=" + std::to_string(n));
    if (options_.methods != kFoundByNetbios) {
        if (smbThread.joinable())
            smbThread.join();
        reportMerged(smbHosts);
    }

    int wait = static_cast<int>(std::trunc((4 * rttvar_ + srtt_) * (sweep + 1)));
    wait = std::clamp(wait, 2, 60);
    const ClockReading now = readClock();
    if (sweepStart.seconds + wait > now.seconds)
        std::this_thread::sleep_for(std::chrono::milliseconds(sweepStart.seconds + wait - now.seconds));
    cursor_.reset();
    queriedUpTo_.reset();
    sending_ = true;
    answered_ = AnsweredSet();
    return true;
}

void Scanner::releaseScanResources() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    answered_ = AnsweredSet();
}

} // namespace ormix

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

std::string dotted(uint32_t networkOrder) {
    in_addr a{};
    a.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

} // namespace

NBTMain::NBTMain(ScanOptions options, std::shared_ptr<ScanObserver> observer)
    : options_(std::move(options)), observer_(std::move(observer)) {
    if (!options_.ranges)
        options_.ranges = std::make_shared<const std::vector<std::string>>();
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

NBTMain::~NBTMain() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach(); // the scanner's last owner was its own thread, which ends now
        } else {
            requestStop();
            thread_.join();
        }
    }
    release_scan_resources();
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

void NBTMain::start() {
    thread_ = std::thread([self = shared_from_this()] { self->Execute(); });
}

void NBTMain::requestStop() {
    stopRequested_ = true;
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
    }
}

void NBTMain::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void NBTMain::log(const std::string& line) {
    observer_->logLine(line);
}

void NBTMain::Execute() {
    try {
        scan();
    } catch (const std::exception&) {
        // A failing configuration read ends the scan quietly; the owner still
        // learns of the end.
    }
    release_scan_resources();
    observer_->finished();
}

void NBTMain::scan() {
    queriesSent_ = 0;
    progressShown_ = -1;
    port_ = options_.firstPort;
    log("Trying to bind port " + std::to_string(port_));
    int rc = sock_prepare();
    while (rc == EADDRINUSE) {
        log("Port port " + std::to_string(port_) + " in use");
        ++port_;
        log("Trying to bind port " + std::to_string(port_));
        rc = sock_prepare();
    }
    if (rc != 0) {
        log("Critical error: sock_prepare() failed!");
        return;
    }
    log("Port " + std::to_string(port_) + " is ok..");

    const int64_t total =
        count_scan_addresses(*options_.ranges, [this] { observer_->fatalMessage("Malloc failed"); });
    observer_->progressTotal(total);

    for (const std::string& text : *options_.ranges) {
        if (stopRequested_)
            break;
        scan_range(text);
    }
    show_progress(true);
}

int NBTMain::sock_prepare() {
    release_scan_resources();
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
        release_scan_resources();
        return err;
    }
    // A larger queue is best effort: root may exceed the system's cap, anyone
    // else gets what the cap allows.
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &kSocketQueueBytes, sizeof kSocketQueueBytes) != 0)
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &kSocketQueueBytes, sizeof kSocketQueueBytes);
    buffer_.assign(kReceiveBufferSize, 0);
    scanStartSecond_ = read_clock().seconds;
    return 0;
}

// One select over the wanted sets with the range's timeout. Returns the number
// of ready sets' sockets (0 or 1), 0 on timeout, -1 on error; each set keeps
// the socket only when it is ready.
int NBTMain::selectReady(bool& readSet, bool& writeSet) {
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
bool NBTMain::datagramWaiting() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

// Receives one datagram; false when the pass ends here (nothing is sent in it).
bool NBTMain::receive_one() {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = sourceAddress_;
    socklen_t fromLen = sizeof from;
    const ssize_t got =
        recvfrom(fd_, buffer_.data(), buffer_.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    sourceAddress_ = from.sin_addr.s_addr;
    if (got <= 0) {
        log("Recvfrom failed (" + dotted(sourceAddress_) + ")");
        return false;
    }
    const ClockReading received = read_clock();
    const auto answer = parse_response(buffer_.data(), static_cast<size_t>(got));
    if (!answer) {
        log("parse_response returned NULL");
        return false;
    }
    if (!answered_.add(ntohl(sourceAddress_)))
        return true;
    // A datagram too short for a transaction id has no send time to measure.
    if (answer->header) {
        const int32_t sample = received.seconds + received.microseconds / 1000000 - scanStartSecond_ -
                               answer->header->trnId / 1000;
        const double delta = static_cast<double>(sample) - srtt_;
        srtt_ = static_cast<float>(srtt_ + 0.125 * delta);
        rttvar_ = static_cast<float>(rttvar_ + 0.25 * (std::fabs(delta) - rttvar_));
    }
    report_host(*answer, sourceAddress_);
    return true;
}

void NBTMain::report_host(const NodeStatusAnswer& answer, uint32_t source) {
    observer_->foundHost(describe_host(answer, source));
}

void NBTMain::show_progress(bool final) {
    const auto now = std::chrono::steady_clock::now();
    if (queriesSent_ == progressShown_)
        return;
    if (!final && now - lastProgress_ < options_.progressInterval)
        return;
    lastProgress_ = now;
    progressShown_ = queriesSent_;
    observer_->progress(queriesSent_);
}

bool NBTMain::scan_range(const std::string& text) {
    try {
        if (!parse_range_text(text, range_)) {
            log("not an IP address or address range");
            return false;
        }
    } catch (const std::bad_alloc&) {
        observer_->fatalMessage("Malloc failed");
        log("not an IP address or address range");
        return false;
    }
    answered_ = AnsweredSet();
    timeout_ = options_.selectTimeout ? options_.selectTimeout() : SelectTimeout{};

    const int sweep = 0; // every range gets exactly one sweep
    const ClockReading sweepStart = read_clock();
    bool readSet = true;
    bool writeSet = true;
    int n = selectReady(readSet, writeSet);
    if (n < 0) {
        log("ERROR (select()=SOCKET_ERROR)");
        return false;
    }
    while (n > 0) {
        n = selectReady(readSet, writeSet);
        if (readSet) {
            if (!receive_one())
                continue;
            for (int extra = 0; extra < kExtraReadsPerPass && datagramWaiting(); ++extra)
                receive_one();
        }
        readSet = true;
        if (sending_ && writeSet) {
            uint32_t next = 0;
            if (!step_address(range_, cursor_, next)) {
                sending_ = false;
                writeSet = false;
                show_progress(true);
                continue;
            }
            if (!answered_.contains(ntohl(next))) {
                ++queriesSent_;
                show_progress(false);
                send_status_query(fd_, next, scanStartSecond_);
            }
            cursor_ = next;
        }
        if (sending_)
            writeSet = true;
    }
    log("socket h cnt=" + std::to_string(n));

    int wait = static_cast<int>(std::trunc((4 * rttvar_ + srtt_) * (sweep + 1)));
    wait = std::clamp(wait, 2, 60);
    const ClockReading now = read_clock();
    if (sweepStart.seconds + wait > now.seconds)
        std::this_thread::sleep_for(std::chrono::milliseconds(sweepStart.seconds + wait - now.seconds));
    cursor_.reset();
    sending_ = true;
    answered_ = AnsweredSet();
    return true;
}

void NBTMain::release_scan_resources() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    answered_ = AnsweredSet();
}

} // namespace ormix

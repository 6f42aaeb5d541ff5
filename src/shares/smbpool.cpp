// Helper processes and their pool (see smbpool.h).
#include "shares/smbpool.h"

#include "platform/fdio.h"
#include "platform/programdir.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace ormix {

using Clock = std::chrono::steady_clock;
using smbproto::FrameReader;
using smbproto::FrameSplitter;
using smbproto::FrameWriter;
using smbproto::Kind;

std::string defaultSmbHelperPath() {
    if (const char* env = std::getenv("ORMIX_SMB_HELPER"); env && *env)
        return env;
    return smbHelperPathFor(executableDir());
}

SmbHelperPool& processSmbPool() {
    static SmbHelperPool* pool = new SmbHelperPool();
    return *pool;
}

// One running helper: its pid and our end of the socket pair.
class SmbHelperProcess {
public:
    static std::unique_ptr<SmbHelperProcess> start(const SmbPoolOptions& options);
    ~SmbHelperProcess();

    pid_t pid() const { return pid_; }
    bool send(const std::string& frame);
    SmbHelperPool::Lease::Read read(std::string& body, Clock::time_point deadline);
    // True when nothing arrived while idle: no stray bytes, no end of stream.
    bool quiet() const;

private:
    SmbHelperProcess(pid_t pid, int fd) : pid_(pid), fd_(fd) {}
    pid_t pid_;
    int fd_;
    FrameSplitter in_;
};

namespace {

std::vector<std::string> helperEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string_view entry = *e;
        bool replaced = false;
        for (const auto& x : extra) {
            const size_t eq = x.find('=');
            if (eq != std::string::npos && entry.substr(0, eq + 1) == std::string_view(x).substr(0, eq + 1))
                replaced = true;
        }
        if (!replaced)
            env.emplace_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : (left > INT_MAX ? INT_MAX : static_cast<int>(left));
}

} // namespace

std::unique_ptr<SmbHelperProcess> SmbHelperProcess::start(const SmbPoolOptions& options) {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return nullptr;
    const std::string path = options.helperPath.empty() ? defaultSmbHelperPath() : options.helperPath;
    std::vector<std::string> env = helperEnvironment(options.extraEnv);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = path;
    char* argv[] = {arg0.data(), nullptr};

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, sv[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, sv[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&fa, STDERR_FILENO + 1);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), &fa, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&fa);
    ::close(sv[1]);
    if (rc != 0) {
        ::close(sv[0]);
        return nullptr;
    }
    std::unique_ptr<SmbHelperProcess> proc(new SmbHelperProcess(pid, sv[0]));

    std::string body;
    if (proc->read(body, Clock::now() + options.startTimeout) != SmbHelperPool::Lease::Read::Frame)
        return nullptr;
    FrameReader hello(body);
    uint32_t version = 0;
    if (hello.kind() != Kind::Hello || !hello.u32(version) || !hello.done() ||
        version != smbproto::kProtocolVersion)
        return nullptr;
    return proc;
}

SmbHelperProcess::~SmbHelperProcess() {
    ::close(fd_);
    // An idle helper ends by itself on end of input; a busy or broken one may
    // sit in a network call, so it is not asked.
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
}

bool SmbHelperProcess::send(const std::string& frame) {
    return !frame.empty() && sendAll(fd_, frame, MSG_NOSIGNAL);
}

SmbHelperPool::Lease::Read SmbHelperProcess::read(std::string& body, Clock::time_point deadline) {
    using Read = SmbHelperPool::Lease::Read;
    char buf[16384];
    for (;;) {
        switch (in_.next(body)) {
        case FrameSplitter::Result::Frame:
            return Read::Frame;
        case FrameSplitter::Result::Bad:
            return Read::Failed;
        case FrameSplitter::Result::NeedMore:
            break;
        }
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Read::Failed;
        if (ready == 0)
            return Read::Timeout;
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return Read::Failed;
        in_.feed(buf, static_cast<size_t>(n));
    }
}

bool SmbHelperProcess::quiet() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;
}

// --- Lease -------------------------------------------------------------------

SmbHelperPool::Lease::Lease() = default;

SmbHelperPool::Lease::Lease(SmbHelperPool* pool, std::unique_ptr<SmbHelperProcess> proc)
    : pool_(pool), proc_(std::move(proc)) {}

SmbHelperPool::Lease::Lease(Lease&& other) noexcept
    : pool_(other.pool_), proc_(std::move(other.proc_)), busy_(other.busy_), broken_(other.broken_),
      retired_(other.retired_) {
    other.pool_ = nullptr;
}

SmbHelperPool::Lease& SmbHelperPool::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        release();
        pool_ = other.pool_;
        proc_ = std::move(other.proc_);
        busy_ = other.busy_;
        broken_ = other.broken_;
        retired_ = other.retired_;
        other.pool_ = nullptr;
    }
    return *this;
}

SmbHelperPool::Lease::~Lease() {
    release();
}

void SmbHelperPool::Lease::release() {
    if (retired_ && !busy_ && !broken_)
        proc_.reset(); // a helper that held a password ends with its job; not a failure
    if (proc_ && pool_)
        pool_->giveBack(std::move(proc_), !busy_ && !broken_);
    proc_.reset();
    pool_ = nullptr;
}

pid_t SmbHelperPool::Lease::pid() const {
    return proc_ ? proc_->pid() : -1;
}

bool SmbHelperPool::Lease::send(const std::string& frame) {
    if (!proc_ || broken_)
        return false;
    busy_ = true;
    if (!proc_->send(frame)) {
        broken_ = true;
        return false;
    }
    return true;
}

SmbHelperPool::Lease::Read SmbHelperPool::Lease::read(std::string& body, Clock::time_point deadline) {
    if (!proc_ || broken_)
        return Read::Failed;
    const Read r = proc_->read(body, deadline);
    if (r != Read::Frame)
        broken_ = true;
    else if (static_cast<Kind>(static_cast<uint8_t>(body[0])) == Kind::End)
        busy_ = false;
    return r;
}

// --- Pool ----------------------------------------------------------------------

SmbHelperPool::SmbHelperPool(SmbPoolOptions options) : options_(std::move(options)) {}

SmbHelperPool::~SmbHelperPool() {
    std::lock_guard starterLock(starterMutex_);
    if (starter_.joinable())
        starter_.join();
}

void SmbHelperPool::prestart(size_t count) {
    std::lock_guard starterLock(starterMutex_);
    if (starting_ || closed_)
        return; // one round of starting at a time is plenty
    if (starter_.joinable())
        starter_.join();
    starting_ = true;
    count = std::min(count, options_.maxIdle);
    starter_ = std::thread([this, count] {
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (closed_ || idle_.size() >= count)
                    break;
            }
            auto proc = SmbHelperProcess::start(options_);
            if (!proc)
                break;
            ++started_;
            giveBack(std::move(proc), true);
        }
        starting_ = false;
    });
}

size_t SmbHelperPool::idleHelpers() const {
    std::lock_guard lock(mutex_);
    return idle_.size();
}

SmbHelperPool::Lease SmbHelperPool::acquire() {
    std::unique_ptr<SmbHelperProcess> proc;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (closed_ || idle_.empty())
                break;
            proc = std::move(idle_.back());
            idle_.pop_back();
        }
        if (proc->quiet())
            break;
        proc.reset();
        ++replaced_; // died or spoke while idle
    }
    if (!proc && !closed_) {
        proc = SmbHelperProcess::start(options_);
        if (proc)
            ++started_;
    }
    if (!proc)
        return Lease();
    std::lock_guard lock(mutex_);
    if (closed_)
        return Lease(); // shut down meanwhile: proc ends here
    leased_.push_back(proc->pid());
    return Lease(this, std::move(proc));
}

void SmbHelperPool::giveBack(std::unique_ptr<SmbHelperProcess> proc, bool healthy) {
    if (!healthy)
        ++replaced_;
    std::lock_guard lock(mutex_);
    std::erase(leased_, proc->pid());
    if (healthy && !closed_ && idle_.size() < options_.maxIdle)
        idle_.push_back(std::move(proc));
    // Otherwise the destructor kills it.
}

void SmbHelperPool::shutdown() {
    std::vector<std::unique_ptr<SmbHelperProcess>> idle;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        idle.swap(idle_);
        // Still unreaped while on lease, so the pid is theirs.
        for (const pid_t pid : leased_)
            ::kill(pid, SIGKILL);
    }
    idle.clear();
    std::lock_guard starterLock(starterMutex_);
    if (starter_.joinable())
        starter_.join();
}

ShareListing SmbHelperPool::listShares(const std::string& ip, const smbproto::JobAuth& auth) {
    ShareListing result;
    result.status = smbproto::kStatusOther;
    Lease lease = acquire();
    if (!lease)
        return result;
    std::string frame = FrameWriter(Kind::ListShares).text(ip).auth(auth).finish();
    if (auth.method == smbproto::AuthMethod::Account)
        lease.retire();
    const bool sent = lease.send(frame);
    smbproto::wipe(frame);
    if (!sent)
        return result;
    const auto deadline = Clock::now() + options_.jobTimeout;
    std::string body;
    while (lease.read(body, deadline) == Lease::Read::Frame) {
        FrameReader r(body);
        if (r.kind() == Kind::Share) {
            ShareEntry e;
            if (r.text(e.name) && r.text(e.comment) && r.done()) {
                // A server may say anything: keep no more than a real one could.
                if (result.shares.size() >= smbproto::kMaxSharesPerHost ||
                    e.name.size() > smbproto::kMaxShareNameBytes) {
                    ++result.sharesLeftOut;
                    continue;
                }
                if (e.comment.size() > smbproto::kMaxRemarkBytes) {
                    e.comment.resize(smbproto::utf8Boundary(e.comment, smbproto::kMaxRemarkBytes));
                    ++result.remarksCut;
                }
                result.shares.push_back(std::move(e));
                continue;
            }
        } else if (r.kind() == Kind::End) {
            int32_t status;
            if (r.i32(status) && r.done()) {
                result.status = status;
                return result;
            }
        }
        break; // a frame that does not belong here: the helper is confused
    }
    // Failed, timed out or confused: the lease kills the helper on release.
    lease.discard();
    result.status = smbproto::kStatusOther;
    return result;
}

} // namespace ormix

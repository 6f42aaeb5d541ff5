// The pool of SMB helper processes (ormix-smb). A worker thread leases one
// helper for the length of a job; the pool starts helpers on demand, keeps idle
// ones for the next job and replaces any that crashed, broke the frame format
// or overran the job's time limit (the job then ends with status 59).
// Plain POSIX (posix_spawn and a socket pair), so any thread may use it.
// Tests: tests/shares/smbpool_test.cpp.
#pragma once

#include "shares/smbproto.h"

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ormix {

struct SmbPoolOptions {
    // Empty: defaultSmbHelperPath().
    std::string helperPath;
    // Longest a job may take from its request to its end frame. Above
    // libsmbclient's own 4 s per operation so that a slow but live server
    // still gets its answer through.
    std::chrono::milliseconds jobTimeout{10000};
    // Longest a new helper may take to say hello.
    std::chrono::milliseconds startTimeout{5000};
    // Idle helpers kept for later jobs; more are ended when returned.
    size_t maxIdle = 16;
    // NAME=VALUE pairs added to every helper's environment.
    std::vector<std::string> extraEnv;
};

// $ORMIX_SMB_HELPER when set, otherwise ormix-smb next to the running program
// (libexec/ormix/ormix-smb under the prefix of an installed copy).
std::string defaultSmbHelperPath();

class SmbHelperPool;
// The program's one pool, with the default options. It is never destroyed;
// at quit the program calls shutdown() and then joins its workers. The scan's
// share workers, the search's walks and copies and ormix-cli all lease from
// it: the pool caps no leases, so each side's own worker count (MaxAddThrds,
// MaxIndexThrds) still bounds the helpers it holds, every job keeps its own
// time limit, and one shutdown() ends the helpers of both.
SmbHelperPool& processSmbPool();

struct ShareEntry {
    std::string name;
    std::string comment;
};

struct ShareListing {
    int32_t status = smbproto::kStatusOk;
    std::vector<ShareEntry> shares; // in the server's order; on failure those received before it
    // What the bounds of smbproto.h left out: shares past kMaxSharesPerHost
    // or with a name over kMaxShareNameBytes, and remarks cut to kMaxRemarkBytes.
    size_t sharesLeftOut = 0;
    size_t remarksCut = 0;
};

class SmbHelperProcess;

class SmbHelperPool {
public:
    explicit SmbHelperPool(SmbPoolOptions options = {});
    ~SmbHelperPool(); // ends the idle helpers; leases must be gone by then
    SmbHelperPool(const SmbHelperPool&) = delete;
    SmbHelperPool& operator=(const SmbHelperPool&) = delete;

    // One helper for one job at a time. Sending a job makes the helper busy;
    // reading its End frame makes it reusable. A lease released while busy, or
    // after any failure, kills its helper instead of returning it to the pool.
    class Lease {
    public:
        Lease();
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&& other) noexcept;
        ~Lease();

        explicit operator bool() const { return proc_ != nullptr; }
        pid_t pid() const;

        // False when the helper cannot take the frame (it is then broken).
        bool send(const std::string& frame);

        enum class Read { Frame, Timeout, Failed };
        // Next frame body from the helper, waiting at most until deadline.
        // Timeout and Failed (end of stream, broken frame) break the helper.
        Read read(std::string& body, std::chrono::steady_clock::time_point deadline);

        // The helper said something that does not fit the job: never reuse it.
        void discard() { broken_ = true; }
        // The job carries a password: the helper ends with the job instead of
        // serving again, so no copy of it (its own or the SMB library's freed
        // buffers) outlives the job.
        void retire() { retired_ = true; }

    private:
        friend class SmbHelperPool;
        Lease(SmbHelperPool* pool, std::unique_ptr<SmbHelperProcess> proc);
        void release();
        SmbHelperPool* pool_ = nullptr;
        std::unique_ptr<SmbHelperProcess> proc_;
        bool busy_ = false;
        bool broken_ = false;
        bool retired_ = false;
    };

    // An idle helper, or a new one. Empty when no helper could be started.
    Lease acquire();

    // Starts helpers in the background until `count` are idle, so that the
    // first jobs do not wait for them (starting one costs tens of
    // milliseconds of CPU). Returns at once.
    void prestart(size_t count);

    // The end of the pool's work: no helper is lent or started any more, the
    // idle helpers end, and the helpers out on lease are killed, so that a
    // worker blocked reading from one sees the end of its stream at once and
    // its job ends (status 59). Returns once the background starter has
    // stopped. Any thread; the workers are joined after it.
    void shutdown();
    bool isShutDown() const { return closed_.load(); }

    // The share-listing job, one sign-in attempt: status 59 when no helper
    // could be started or the helper failed in any way during the job.
    ShareListing listShares(const std::string& ip, const smbproto::JobAuth& auth = {});

    const SmbPoolOptions& options() const { return options_; }
    int helpersStarted() const { return started_.load(); }
    int helpersReplaced() const { return replaced_.load(); }
    size_t idleHelpers() const;

private:
    void giveBack(std::unique_ptr<SmbHelperProcess> proc, bool healthy);

    SmbPoolOptions options_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<SmbHelperProcess>> idle_;
    // Helpers out on lease; their processes are not reaped before they come back.
    std::vector<pid_t> leased_;
    std::atomic<bool> closed_{false};
    std::atomic<int> started_{0};
    std::atomic<int> replaced_{0};
    std::mutex starterMutex_;
    std::thread starter_;
    std::atomic<bool> starting_{false};
};

} // namespace ormix

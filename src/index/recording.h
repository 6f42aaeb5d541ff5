// Filling the index from walks that happen anyway: a ShareWalker wrapper that
// keeps what each walk lists and, when a walk completes, hands the share's
// rows to one writer thread, which swaps them into the store. The walk itself
// only pays for a copy of each record. Tests: tests/index/recording_test.cpp.
#pragma once

#include "index/indexstore.h"
#include "search/scannedshare.h"
#include "search/sharewalk.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <variant>

namespace ormix {

// A share walk that lists more than this is not recorded (its old rows stay):
// the snapshot lives in memory until it is written, and a server must not be
// able to make it grow without end.
inline constexpr size_t kMaxRecordedEntries = 5'000'000;
inline constexpr size_t kMaxRecordedBytes = size_t(1) << 30;

// The one writer of the store. Whoever creates it stops it (finish() or the
// destructor), which writes what is queued and joins the thread.
class IndexWriter {
public:
    IndexWriter() = default;
    ~IndexWriter();
    IndexWriter(const IndexWriter&) = delete;
    IndexWriter& operator=(const IndexWriter&) = delete;

    // Opens the store (see IndexStore::open) on the writer's own thread.
    bool start(const std::string& location, std::string& error);
    void submitSnapshot(ShareSnapshot snap);
    void submitFailure(const std::string& share, const std::string& hostIp, const std::string& hostName,
                       int32_t outcome);
    // Writes everything queued, then ends and joins the thread.
    void finish();

    // Shares written, and the last write error (empty when none).
    int64_t written() const;
    std::string lastError() const;

private:
    struct Failure {
        std::string share, hostIp, hostName;
        int32_t outcome;
        int64_t when;
    };
    using Job = std::variant<ShareSnapshot, Failure>;
    void loop(IndexStore& store);

    std::thread thread_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<Job> queue_;
    bool finishing_ = false;
    int64_t written_ = 0;
    std::string lastError_;
};

class RecordingShareWalker : public ShareWalker {
public:
    RecordingShareWalker(ShareWalker& inner, IndexWriter& writer) : inner_(inner), writer_(writer) {}

    // The computer names that label each share's rows; a share without one
    // is labelled with its IP.
    void SetEntries(const std::vector<ScannedShare>& shares);

    std::unique_ptr<ShareWalk> Open(const std::string& rootPath) override;

private:
    ShareWalker& inner_;
    IndexWriter& writer_;
    std::mutex m_;
    std::map<std::string, std::string> names_; // share path -> computer name
};

// A walk's root "\\IP\share\" as the share path "\\IP\share" (every
// trailing backslash dropped).
std::string ShareOfRoot(std::string_view rootPath);

int64_t IndexNow();

} // namespace ormix

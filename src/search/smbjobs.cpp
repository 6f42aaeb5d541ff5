#include "search/smbjobs.h"

#include "platform/smbpath.h"
#include "shares/accounts.h"
#include "shares/smbpool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

namespace ormix {

using Clock = std::chrono::steady_clock;
using smbproto::FrameReader;
using smbproto::FrameWriter;
using smbproto::Kind;
using Read = SmbHelperPool::Lease::Read;

namespace {

// How long a stopped job may take to answer with its End before the helper is
// killed instead of being kept.
constexpr std::chrono::seconds kStopGrace{2};

bool isEnd(const std::string& body, int32_t* status = nullptr) {
    FrameReader r(body);
    int32_t s = 0;
    if (r.kind() != Kind::End || !r.i32(s) || !r.done())
        return false;
    if (status)
        *status = s;
    return true;
}

// Sends Stop and reads up to the job's End, so the helper can serve again.
void stopJob(SmbHelperPool::Lease& lease) {
    if (!lease.send(FrameWriter(Kind::Stop).finish()))
        return;
    const auto deadline = Clock::now() + kStopGrace;
    std::string body;
    while (lease.read(body, deadline) == Read::Frame) {
        if (isEnd(body))
            return;
    }
}

// "\\IP\share..." -> "IP" (empty when the path has no host part).
std::string hostOf(const std::string& uncPath) {
    if (uncPath.size() < 3 || uncPath.compare(0, 2, "\\\\") != 0)
        return {};
    const size_t end = uncPath.find('\\', 2);
    return uncPath.substr(2, end == std::string::npos ? std::string::npos : end - 2);
}

bool sendJob(SmbHelperPool::Lease& lease, std::string frame, const smbproto::JobAuth& auth) {
    if (auth.method == smbproto::AuthMethod::Account)
        lease.retire();
    const bool sent = !frame.empty() && lease.send(frame);
    smbproto::wipe(frame);
    return sent;
}

class HelperShareWalk : public ShareWalk {
public:
    // first: the first record, already read while the walk was being opened.
    HelperShareWalk(SmbHelperPool::Lease lease, std::string first)
        : lease_(std::move(lease)), first_(std::move(first)) {}
    ~HelperShareWalk() override {
        if (!ended_)
            stopJob(lease_);
    }

    bool Next(WalkRecord& rec) override {
        if (ended_)
            return false;
        std::string body;
        if (!first_.empty()) {
            body.swap(first_);
        } else if (lease_.read(body, Clock::now() + kSearchRecordGap) != Read::Frame) {
            ended_ = true;
            return false;
        }
        FrameReader r(body);
        int32_t status = 0;
        if (r.kind() == Kind::Entry) {
            uint8_t what = 0;
            uint64_t size = 0, mtime = 0;
            // The helper sends no longer names; a longer one means it went astray.
            if (r.u8(what) && r.text(rec.name) && r.u64(size) && r.u64(mtime) && r.done() && what <= 2 &&
                rec.name.size() <= smbproto::kMaxEntryNameBytes) {
                rec.kind = what == 0   ? WalkRecord::File
                           : what == 1 ? WalkRecord::Folder
                                       : WalkRecord::FolderEnd;
                rec.size = size > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(size);
                rec.mtime = mtime > uint64_t(INT64_MAX) ? 0 : int64_t(mtime);
                ++records_;
                return true;
            }
        } else if (isEnd(body, &status)) {
            ended_ = true;
            unavailable_ = records_ == 0 && status != smbproto::kStatusOk;
            return false;
        }
        // Not a walk record: the helper is confused and is not reused.
        lease_.discard();
        ended_ = true;
        return false;
    }

    // The root could not be opened: the job's End carried an error before any record.
    bool RootUnavailable() const override { return unavailable_; }

private:
    SmbHelperPool::Lease lease_;
    std::string first_;
    bool ended_ = false;
    bool unavailable_ = false;
    uint64_t records_ = 0;
};

} // namespace

std::unique_ptr<ShareWalk> HelperShareWalker::Open(const std::string& rootPath) {
    const std::string url = uncToSmbUrl(std::string_view(rootPath));
    if (url.empty())
        return nullptr;
    // Each way of signing in is tried on the walk itself: a refusal comes
    // back as the job's End before any record.
    std::unique_ptr<ShareWalk> walk;
    signIn_.run(hostOf(rootPath), [&](const smbproto::JobAuth& auth) {
        SmbHelperPool::Lease lease = pool_.acquire();
        if (!lease || !sendJob(lease, FrameWriter(Kind::WalkShare).text(url).auth(auth).finish(), auth))
            return smbproto::kStatusOther;
        std::string first;
        if (lease.read(first, Clock::now() + kSearchRecordGap) != Read::Frame)
            return smbproto::kStatusOther;
        int32_t status = smbproto::kStatusOk;
        if (isEnd(first, &status) && status != smbproto::kStatusOk)
            return status;
        walk = std::make_unique<HelperShareWalk>(std::move(lease), std::move(first));
        return smbproto::kStatusOk;
    });
    return walk;
}

namespace {

// The name the helper's copy will take: localPath, or the first free
// numbered name beside it (the helper picks the same way).
std::string firstFreeName(const std::string& localPath) {
    struct stat st;
    std::string name = localPath;
    for (int n = 2; ::lstat(name.c_str(), &st) == 0 && n <= 100000; ++n)
        name = smbproto::numberedName(localPath, n);
    return name;
}

// The file at path, when it is a plain file: its identity.
bool plainFileId(const std::string& path, dev_t& dev, ino_t& ino) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    dev = st.st_dev;
    ino = st.st_ino;
    return true;
}

} // namespace

CopyResult HelperFileCopier::Copy(const std::string& uncPath, const std::string& localPath,
                                  const std::function<bool(uint64_t, uint64_t)>& progress) {
    CopyResult result;
    result.status = smbproto::kStatusOther;
    const std::string url = uncToSmbUrl(std::string_view(uncPath));
    if (url.empty())
        return result;
    signIn_.run(hostOf(uncPath), [&](const smbproto::JobAuth& auth) {
        result = CopyOnce(url, localPath, auth, progress);
        return result.status;
    });
    return result;
}

CopyResult HelperFileCopier::CopyOnce(const std::string& url, const std::string& localPath,
                                      const smbproto::JobAuth& auth,
                                      const std::function<bool(uint64_t, uint64_t)>& progress) {
    CopyResult result;
    result.status = smbproto::kStatusOther;
    // A helper that dies mid-copy cannot clean up after itself. Then only the
    // file this copy created is removed: the name that was free when it
    // started, while it still leads to the file that appeared there. A name
    // the helper sends is never trusted for a removal.
    const std::string expected = firstFreeName(localPath);
    bool ownTarget = false;
    dev_t targetDev = 0;
    ino_t targetIno = 0;
    SmbHelperPool::Lease lease = pool_.acquire();
    if (!lease ||
        !sendJob(lease, FrameWriter(Kind::CopyFile).text(url).text(localPath).auth(auth).finish(), auth))
        return result;
    std::string body;
    while (lease.read(body, Clock::now() + kSearchRecordGap) == Read::Frame) {
        FrameReader r(body);
        if (r.kind() == Kind::Target) {
            std::string path;
            if (r.text(path) && r.done()) {
                result.finalPath = path;
                ownTarget = path == expected && plainFileId(path, targetDev, targetIno);
                continue;
            }
        } else if (r.kind() == Kind::Progress) {
            uint64_t done = 0, total = 0;
            if (r.u64(done) && r.u64(total) && r.done()) {
                if (!result.cancelled && progress && !progress(done, total)) {
                    result.cancelled = true;
                    if (!lease.send(FrameWriter(Kind::Stop).finish()))
                        break;
                }
                continue;
            }
        } else if (isEnd(body, &result.status)) {
            if (result.cancelled)
                result.finalPath.clear();
            return result;
        }
        break;
    }
    dev_t dev = 0;
    ino_t ino = 0;
    if (ownTarget && plainFileId(expected, dev, ino) && dev == targetDev && ino == targetIno)
        ::unlink(expected.c_str());
    result.finalPath.clear();
    lease.discard();
    result.status = smbproto::kStatusOther;
    return result;
}

std::unique_ptr<ShareWalker> MakeHelperShareWalker() {
    return std::make_unique<HelperShareWalker>(processSmbPool());
}

std::unique_ptr<FileCopier> MakeHelperFileCopier() {
    return std::make_unique<HelperFileCopier>(processSmbPool());
}

} // namespace ormix

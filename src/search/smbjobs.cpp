#include "search/smbjobs.h"

#include "platform/smbpath.h"
#include "shares/smbpool.h"

#include <cstdio>

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

class HelperShareWalk : public ShareWalk {
public:
    explicit HelperShareWalk(SmbHelperPool::Lease lease) : lease_(std::move(lease)) {}
    ~HelperShareWalk() override {
        if (!ended_)
            stopJob(lease_);
    }

    bool Next(WalkRecord& rec) override {
        if (ended_)
            return false;
        std::string body;
        if (lease_.read(body, Clock::now() + kSearchRecordGap) != Read::Frame) {
            ended_ = true;
            return false;
        }
        FrameReader r(body);
        if (r.kind() == Kind::Entry) {
            uint8_t what = 0;
            uint64_t size = 0, mtime = 0;
            if (r.u8(what) && r.text(rec.name) && r.u64(size) && r.u64(mtime) && r.done() && what <= 2) {
                rec.kind = what == 0   ? WalkRecord::File
                           : what == 1 ? WalkRecord::Folder
                                       : WalkRecord::FolderEnd;
                rec.size = size > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(size);
                rec.mtime = mtime > uint64_t(INT64_MAX) ? 0 : int64_t(mtime);
                return true;
            }
        } else if (isEnd(body)) {
            ended_ = true;
            return false;
        }
        // Not a walk record: the helper is confused and is not reused.
        lease_.discard();
        ended_ = true;
        return false;
    }

private:
    SmbHelperPool::Lease lease_;
    bool ended_ = false;
};

} // namespace

std::unique_ptr<ShareWalk> HelperShareWalker::Open(const std::string& rootPath) {
    const std::string url = uncToSmbUrl(std::string_view(rootPath));
    if (url.empty())
        return nullptr;
    SmbHelperPool::Lease lease = pool_.acquire();
    if (!lease || !lease.send(FrameWriter(Kind::WalkShare).text(url).finish()))
        return nullptr;
    return std::make_unique<HelperShareWalk>(std::move(lease));
}

CopyResult HelperFileCopier::Copy(const std::string& uncPath, const std::string& localPath,
                                  const std::function<bool(uint64_t, uint64_t)>& progress) {
    CopyResult result;
    result.status = smbproto::kStatusOther;
    const std::string url = uncToSmbUrl(std::string_view(uncPath));
    if (url.empty())
        return result;
    SmbHelperPool::Lease lease = pool_.acquire();
    if (!lease || !lease.send(FrameWriter(Kind::CopyFile).text(url).text(localPath).finish()))
        return result;
    std::string body;
    while (lease.read(body, Clock::now() + kSearchRecordGap) == Read::Frame) {
        FrameReader r(body);
        if (r.kind() == Kind::Target) {
            std::string path;
            if (r.text(path) && r.done()) {
                result.finalPath = path;
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
    // The helper died or went astray mid-copy and could not clean up.
    if (!result.finalPath.empty())
        std::remove(result.finalPath.c_str());
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

#include "index/recording.h"

#include <future>
#include <vector>

#include <time.h>

namespace ormix {

int64_t IndexNow() {
    return static_cast<int64_t>(::time(nullptr));
}

std::string ShareOfRoot(std::string_view rootPath) {
    while (rootPath.size() > 2 && rootPath.back() == '\\')
        rootPath.remove_suffix(1);
    return std::string(rootPath);
}

IndexWriter::~IndexWriter() {
    finish();
}

bool IndexWriter::start(const std::string& location, std::string& error) {
    std::promise<std::string> opened;
    std::future<std::string> result = opened.get_future();
    thread_ = std::thread([this, location, &opened] {
        IndexStore store;
        std::string err;
        if (!store.open(location, err)) {
            opened.set_value(err.empty() ? "cannot open the index" : err);
            return;
        }
        opened.set_value(std::string());
        loop(store);
    });
    error = result.get();
    if (!error.empty()) {
        thread_.join();
        return false;
    }
    return true;
}

void IndexWriter::submitSnapshot(ShareSnapshot snap) {
    {
        std::lock_guard g(m_);
        queue_.emplace_back(std::move(snap));
    }
    cv_.notify_one();
}

void IndexWriter::submitFailure(const std::string& share, const std::string& hostIp,
                                const std::string& hostName, int32_t outcome) {
    {
        std::lock_guard g(m_);
        queue_.emplace_back(Failure{share, hostIp, hostName, outcome, IndexNow()});
    }
    cv_.notify_one();
}

void IndexWriter::finish() {
    {
        std::lock_guard g(m_);
        finishing_ = true;
    }
    cv_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

int64_t IndexWriter::written() const {
    std::lock_guard g(m_);
    return written_;
}

std::string IndexWriter::lastError() const {
    std::lock_guard g(m_);
    return lastError_;
}

void IndexWriter::loop(IndexStore& store) {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_);
            cv_.wait(lock, [this] { return finishing_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        std::string error;
        bool ok;
        if (auto* snap = std::get_if<ShareSnapshot>(&job))
            ok = store.replaceShare(*snap, error);
        else {
            const Failure& f = std::get<Failure>(job);
            ok = store.recordFailedWalk(f.share, f.hostIp, f.hostName, f.when, f.outcome, error);
        }
        std::lock_guard g(m_);
        if (ok && std::holds_alternative<ShareSnapshot>(job))
            ++written_;
        if (!ok)
            lastError_ = error;
    }
}

namespace {

class RecordingWalk : public ShareWalk {
public:
    RecordingWalk(std::unique_ptr<ShareWalk> inner, IndexWriter& writer, ShareSnapshot snap)
        : inner_(std::move(inner)), writer_(writer), snap_(std::move(snap)) {}

    ~RecordingWalk() override {
        // Destroyed while the walk still ran: the user stopped it, which says
        // nothing about the share, so nothing is written.
        if (complete_ && !overflow_) {
            snap_.walkedAt = IndexNow();
            writer_.submitSnapshot(std::move(snap_));
        } else if (failed_ || overflow_) {
            std::string ip, name;
            SplitSharePath(snap_.share, ip, name);
            writer_.submitFailure(snap_.share, ip, snap_.hostName, 59);
        }
    }

    bool Next(WalkRecord& rec) override {
        if (!inner_->Next(rec)) {
            failed_ = !complete_;
            return false;
        }
        if (complete_ || overflow_)
            return true;
        switch (rec.kind) {
        case WalkRecord::FolderEnd:
            if (stack_.empty()) {
                complete_ = true;
            } else {
                folder_.resize(folder_.size() - stack_.back());
                stack_.pop_back();
            }
            break;
        case WalkRecord::Folder:
        case WalkRecord::File:
            if (rec.name == "." || rec.name == "..")
                break;
            keep(rec);
            if (rec.kind == WalkRecord::Folder) {
                folder_ += rec.name;
                folder_ += '\\';
                stack_.push_back(rec.name.size() + 1);
            }
            break;
        }
        return true;
    }

private:
    void keep(const WalkRecord& rec) {
        bytes_ += folder_.size() + rec.name.size() + sizeof(IndexEntry);
        if (snap_.entries.size() >= kMaxRecordedEntries || bytes_ > kMaxRecordedBytes) {
            overflow_ = true;
            snap_.entries = {};
            return;
        }
        IndexEntry e;
        e.folder = folder_;
        e.name = rec.name;
        e.isFolder = rec.kind == WalkRecord::Folder;
        e.size = e.isFolder ? 0 : rec.size;
        e.mtime = rec.mtime;
        snap_.entries.push_back(std::move(e));
    }

    std::unique_ptr<ShareWalk> inner_;
    IndexWriter& writer_;
    ShareSnapshot snap_;
    std::string folder_;
    std::vector<size_t> stack_;
    size_t bytes_ = 0;
    bool complete_ = false, failed_ = false, overflow_ = false;
};

} // namespace

void RecordingShareWalker::SetEntries(const std::vector<ScannedShare>& shares) {
    std::lock_guard g(m_);
    for (const ScannedShare& s : shares) {
        const std::string share = ShareOfRoot(s.path);
        std::string ip, shareName;
        const bool isShare = SplitSharePath(share, ip, shareName);
        names_[share] = s.computerName.empty() && isShare ? ip : s.computerName;
    }
}

std::unique_ptr<ShareWalk> RecordingShareWalker::Open(const std::string& rootPath) {
    std::unique_ptr<ShareWalk> inner = inner_.Open(rootPath);
    ShareSnapshot snap;
    std::string ip, shareName;
    snap.share = ShareOfRoot(rootPath);
    if (!SplitSharePath(snap.share, ip, shareName))
        return inner; // not a share root: nothing to record
    snap.hostIp = ip;
    {
        std::lock_guard g(m_);
        if (auto it = names_.find(snap.share); it != names_.end())
            snap.hostName = it->second;
    }
    if (!inner) {
        writer_.submitFailure(snap.share, ip, snap.hostName, 59);
        return inner;
    }
    return std::make_unique<RecordingWalk>(std::move(inner), writer_, std::move(snap));
}

} // namespace ormix

// An in-memory share tree behind the ShareWalker interface, for the search
// tests. A walk can be held at a gate so tests see workers while they run.
#pragma once

#include "search/sharewalk.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ormix::testing {

struct FakeNode {
    std::string name;
    bool folder = false;
    int64_t size = 0;
    std::vector<FakeNode> children;
    bool unreadable = false; // a folder whose listing fails

    static FakeNode file(std::string n, int64_t s = 0) { return {std::move(n), false, s, {}, false}; }
    static FakeNode dir(std::string n, std::vector<FakeNode> c = {}) {
        return {std::move(n), true, 0, std::move(c), false};
    }
};

class FakeWalker : public ShareWalker {
public:
    // rootPath as the workers pass it: "\\IP\share\".
    void addShare(const std::string& rootPath, std::vector<FakeNode> entries) {
        shares_[rootPath] = std::move(entries);
    }
    // A share whose stream breaks off after its first `records` records, as
    // when the helper dies mid-walk.
    void addBrokenShare(const std::string& rootPath, std::vector<FakeNode> entries, size_t records) {
        shares_[rootPath] = std::move(entries);
        cutAfter_[rootPath] = records;
    }
    // A share given as a ready stream of records (for streams no tree makes).
    void addStream(const std::string& rootPath, std::vector<WalkRecord> records) {
        streams_[rootPath] = std::move(records);
    }

    // While closed, every walk blocks before its first record.
    void closeGate() {
        std::lock_guard g(m_);
        gateOpen_ = false;
    }
    void openGate() {
        {
            std::lock_guard g(m_);
            gateOpen_ = true;
        }
        cv_.notify_all();
    }

    std::unique_ptr<ShareWalk> Open(const std::string& rootPath) override {
        ++opened;
        auto walk = std::make_unique<Walk>(*this);
        auto it = shares_.find(rootPath);
        if (it != shares_.end()) {
            flatten(it->second, walk->records);
            walk->records.push_back({WalkRecord::FolderEnd, {}, 0});
            if (auto cut = cutAfter_.find(rootPath); cut != cutAfter_.end())
                walk->records.resize(std::min(cut->second, walk->records.size()));
        } else if (auto st = streams_.find(rootPath); st != streams_.end()) {
            walk->records = st->second;
        } else {
            walk->unavailable = true;
        }
        return walk;
    }

    std::atomic<int> opened{0};
    std::atomic<int> running{0};
    std::atomic<int> maxRunning{0};
    std::atomic<long> recordsRead{0};
    // Runs on the worker's thread with the number of records read so far,
    // before the record is handed over. Set before the walk starts.
    std::function<void(long)> onRecord;
    // Runs on the worker's thread for every record handed out.
    std::function<void(const WalkRecord&)> onNext;

private:
    struct Walk : ShareWalk {
        explicit Walk(FakeWalker& w) : owner(w) {
            const int now = ++owner.running;
            int seen = owner.maxRunning.load();
            while (now > seen && !owner.maxRunning.compare_exchange_weak(seen, now)) {
            }
        }
        ~Walk() override { --owner.running; }
        bool Next(WalkRecord& rec) override {
            if (!started) {
                std::unique_lock l(owner.m_);
                owner.cv_.wait(l, [this] { return owner.gateOpen_; });
                started = true;
            }
            if (pos >= records.size())
                return false;
            rec = records[pos++];
            const long read = ++owner.recordsRead;
            if (owner.onRecord)
                owner.onRecord(read);
            if (owner.onNext)
                owner.onNext(rec);
            return true;
        }
        bool RootUnavailable() const override { return unavailable; }
        FakeWalker& owner;
        std::vector<WalkRecord> records;
        size_t pos = 0;
        bool started = false;
        bool unavailable = false;
    };

    static void flatten(const std::vector<FakeNode>& nodes, std::vector<WalkRecord>& out) {
        for (const FakeNode& n : nodes) {
            out.push_back({n.folder ? WalkRecord::Folder : WalkRecord::File, n.name, n.size});
            if (n.folder) {
                if (!n.unreadable)
                    flatten(n.children, out);
                out.push_back({WalkRecord::FolderEnd, {}, 0});
            }
        }
    }

    std::map<std::string, std::vector<FakeNode>> shares_;
    std::map<std::string, size_t> cutAfter_;
    std::map<std::string, std::vector<WalkRecord>> streams_;
    std::mutex m_;
    std::condition_variable cv_;
    bool gateOpen_ = true;
};

} // namespace ormix::testing

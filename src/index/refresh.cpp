#include "index/refresh.h"

#include "index/indexstore.h"
#include "index/recording.h"

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace ormix {

std::vector<RefreshOutcome> RefreshShares(ShareWalker& walker, const std::vector<ScannedShare>& shares,
                                          int maxParallel, const std::atomic<bool>& stop) {
    struct Item {
        std::string share, host;
        bool taken = false;
    };
    std::vector<Item> items;
    for (const ScannedShare& s : shares) {
        Item it;
        it.share = ShareOfRoot(s.path);
        std::string shareName;
        if (!SplitSharePath(it.share, it.host, shareName))
            continue;
        items.push_back(std::move(it));
    }
    std::vector<RefreshOutcome> out(items.size());
    std::mutex m;
    std::condition_variable cv;
    std::set<std::string> busyHosts;
    size_t left = items.size();

    // Takes the first share whose host is not being walked; -1 when none is left.
    auto take = [&]() -> long {
        std::unique_lock lock(m);
        for (;;) {
            if (left == 0 || stop.load())
                return -1;
            for (size_t i = 0; i < items.size(); ++i) {
                if (!items[i].taken && !busyHosts.count(items[i].host)) {
                    items[i].taken = true;
                    busyHosts.insert(items[i].host);
                    --left;
                    return long(i);
                }
            }
            // Every remaining share's host is busy: wait for a walk to end.
            cv.wait_for(lock, std::chrono::milliseconds(200));
        }
    };
    auto work = [&] {
        for (long i; (i = take()) >= 0;) {
            RefreshOutcome& o = out[size_t(i)];
            o.share = items[size_t(i)].share;
            if (std::unique_ptr<ShareWalk> walk = walker.Open(o.share + '\\')) {
                WalkRecord rec;
                int depth = 0;
                while (!stop.load(std::memory_order_relaxed) && walk->Next(rec)) {
                    if (rec.kind == WalkRecord::FolderEnd) {
                        if (depth-- == 0) {
                            o.complete = true;
                            walk->Next(rec); // reads the job's end, so the helper is free at once
                            break;
                        }
                    } else {
                        ++o.entries;
                        if (rec.kind == WalkRecord::Folder)
                            ++depth;
                    }
                }
            }
            {
                std::lock_guard g(m);
                busyHosts.erase(items[size_t(i)].host);
            }
            cv.notify_all();
        }
    };
    const size_t n = std::min<size_t>(items.size(), size_t(std::max(1, maxParallel)));
    std::vector<std::thread> threads;
    for (size_t t = 0; t < n; ++t)
        threads.emplace_back(work);
    for (std::thread& t : threads)
        t.join();
    return out;
}

} // namespace ormix

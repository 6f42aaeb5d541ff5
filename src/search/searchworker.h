// SearchWorker: walks one share depth first on its own thread, tests every
// file against the size band and the pattern, and posts matches (in batches)
// and its final count to the owner on the main thread; it never waits for the
// main thread. Tests: tests/search/searchworker_test.cpp.
#pragma once

#include "search/pattern.h"
#include "search/sharewalk.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ormix {

class TRegExpr;

// What a worker tells its owner beside the results; the owner makes the text.
enum class SearchNote {
    Incomplete, // path: the share root; its walk broke off, results are missing
    TooDeep,    // path: the first folder of this share left out for its depth
    StepLimit,  // path: a file whose name took too long to match; skipped
};

// Receives a search's results. Every call runs on the main thread, in the
// order the worker found the files, the count last.
class SearchOwner {
public:
    virtual ~SearchOwner() = default;
    // folder ends with a backslash; names are UTF-8.
    virtual void AddFoundFile(const std::string& hostName, const std::string& folder, int64_t size,
                              const std::string& name) = 0;
    virtual void AddExaminedCount(int64_t count) = 0;
    // path is UTF-8, as the result list shows paths.
    virtual void AddSearchNote(SearchNote note, const std::string& hostName, const std::string& path) {
        (void)note, (void)hostName, (void)path;
    }
};

// The condition of one search, fixed when the search starts.
struct SearchQuery {
    std::string expression;   // code page 1251, as handed to the engine
    std::string modifiers;    // the engine's modifier text ("gsr-imx")
    bool regexMode = false;   // match the full path instead of the name alone
    int64_t minSizeBytes = 0; // 0: no lower bound
    int64_t maxSizeBytes = 0; // 0: no upper bound
};

// The size band; both bounds inclusive, 0 meaning no bound.
inline bool SizeInBand(int64_t size, int64_t lo, int64_t hi) {
    return !((lo != 0 && size < lo) || (hi != 0 && size > hi));
}

class SearchWorker : public QThread {
    Q_OBJECT
public:
    // Found files travel to the owner in batches of at most this many, and
    // none waits longer than kBatchDelay for the next ones.
    static constexpr size_t kBatchSize = 256;
    static constexpr std::chrono::milliseconds kBatchDelay{50};

    // mainContext is an object living on the main thread; the owner's calls
    // run in its thread. stopRequested must outlive the worker.
    SearchWorker(const SearchQuery& query, const std::atomic<bool>& stopRequested, SearchOwner& owner,
                 QObject& mainContext, ShareWalker& walker, QObject* parent = nullptr);
    ~SearchWorker() override;

    std::string RootPath; // share path followed by one backslash
    std::string HostName; // labels this share's results

protected:
    void run() override { Execute(); }

private:
    void Execute();
    // Walks the whole stream without recursion; false when it broke off
    // before the root's end.
    bool WalkShare(ShareWalk& walk);
    bool MatchFile();
    void QueueFoundFile();
    // Posts the found files queued so far.
    void PostFoundFiles();

    struct FoundFile {
        std::string folder;
        int64_t size;
        std::string name;
    };
    std::vector<FoundFile> found_;
    std::chrono::steady_clock::time_point firstQueued_{};
    void Note(SearchNote note, const std::string& path);

    const SearchQuery query_;
    const std::atomic<bool>& stop_;
    SearchOwner& owner_;
    QObject& context_;
    ShareWalker& walker_;
    std::unique_ptr<TRegExpr> expr_;

    int64_t lo_ = 0, hi_ = 0;
    int64_t ExaminedCount = 0;
    std::string rel_, rel1251_;            // current folder below the root
    std::string curFolder_, curName_;      // UTF-8
    std::string root1251_, curFolder1251_; // the paths as the engine sees them
    int64_t curSize_ = 0;
};

} // namespace ormix

// A search over the index instead of the network: the same condition as a
// network search (the expression through the project's engine on the same
// name or full-path text, the size band, the shares searched minus the
// excluded ones) over the rows the store holds. Tests: tests/index/indexsearch_test.cpp.
#pragma once

#include "index/indexstore.h"
#include "search/scannedshare.h"
#include "search/searchworker.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ormix {

struct IndexQuery {
    SearchQuery query;
    // The shares searched; empty: every share the index holds. A share's
    // computer name labels its results; without one the index's name does.
    std::vector<ScannedShare> shares;
    std::vector<std::string> excludedShares; // share names, letter case ignored
};

struct IndexHit {
    std::string hostName;
    std::string folder; // full folder path, ending with '\'
    std::string name;
    int64_t size = 0;
};

struct IndexSearchSummary {
    int64_t examined = 0;     // files the condition was tested on (as a network search counts)
    int sharesSearched = 0;   // shares with rows in the index
    int sharesNotIndexed = 0; // asked for but never walked completely
    int64_t oldestWalk = 0;   // seconds since the epoch; 0 when no share was searched
    int64_t newestWalk = 0;
    bool expressionError = false; // the expression did not compile: no results, as on the network
};

struct ScanPlan;

// A copy of every file row of the index in memory, names already in the
// engine's code page, for a window that searches many times: a search over
// it costs one engine run per name and no database read. Taken at one store
// generation and reloaded when the store has moved on.
class IndexCache {
public:
    bool load(IndexStore& store, std::string& error);
    int64_t generation() const { return generation_; }
    size_t rows() const { return rows_.size(); }

    // Runs the plan of one search over the rows (indexsearch.cpp).
    void scan(const ScanPlan& plan, const std::atomic<bool>& stop,
              const std::function<void(std::vector<IndexHit>&&)>& onBatch) const;

private:
    struct Row {
        int64_t shareId, size;
        uint32_t folder;
        uint32_t nameOff, nameLen;         // in names_
        uint32_t name1251Off, name1251Len; // in names1251_
    };
    int64_t generation_ = -1;
    std::vector<Row> rows_;
    std::string names_, names1251_;
    std::vector<std::string> folders_, folders1251_;
};

// A LIKE pattern that every name the plain-text condition can match also
// matches, so the store may skip the other rows; nothing when the text is not
// simple enough to be sure.
std::optional<std::string> NamePrefilter(const std::string& userText, bool regexMode);

// Runs on the calling thread with a store opened there. Matches go to onBatch
// a few thousand at a time. With a cache the rows come from it (reloaded
// first when stale), else straight from the store. False with error when the
// store could not be read.
bool SearchIndex(IndexStore& store, const IndexQuery& q, const std::string& userText,
                 const std::atomic<bool>& stop, const std::function<void(std::vector<IndexHit>&&)>& onBatch,
                 IndexSearchSummary& summary, std::string& error, IndexCache* cache = nullptr);

// Age of the index for the shares searched, as the search window words it:
// " Индекс: N ресурсов, обновлён ... назад".
std::string IndexAgeText(const IndexSearchSummary& s, int64_t now);

// Runs SearchIndex on a thread of its own for the search window and hands
// the results to the owner on the main thread in batches, without waiting
// for the window. Lives on the main thread; joins its thread.
class IndexSearchRunner : public QObject {
    Q_OBJECT
public:
    IndexSearchRunner(SearchOwner& owner, const std::atomic<bool>& stopRequested, QObject* parent = nullptr);
    ~IndexSearchRunner() override;

    // Runs on the main thread once the search has ended, with its summary
    // (error non-empty when the index could not be read).
    std::function<void(const IndexSearchSummary&, const std::string& error)> onSearchFinished;

    void start(const std::string& dbLocation, const IndexQuery& query, const std::string& userText);
    bool running() const { return running_; }

private:
    void finished(const IndexSearchSummary& s, const std::string& error);

    SearchOwner& owner_;
    const std::atomic<bool>& stop_;
    std::shared_ptr<IndexCache> cache_; // used by one search thread at a time
    std::thread thread_;
    bool running_ = false;
};

} // namespace ormix

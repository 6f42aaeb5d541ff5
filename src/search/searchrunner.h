// SearchRunner: the pool of search workers behind the search window and
// `ormix-cli search`: the pending share entries, the launch rule, and the end
// of a search. Lives on the main thread. Tests: tests/search/searchrunner_test.cpp.
#pragma once

#include "search/scannedshare.h"
#include "search/searchworker.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace ormix {

class SearchRunner : public QObject {
    Q_OBJECT
public:
    SearchRunner(SearchOwner& owner, ShareWalker& walker, const std::atomic<bool>& stopRequested,
                 QObject* parent = nullptr);
    ~SearchRunner() override;

    // Runs for each entry handed to a worker, with the entry unchanged.
    std::function<void(const ScannedShare& entry)> OnShareStarted;
    // Runs once when the last worker of a search has ended, or at once from
    // Start when the search starts no worker.
    std::function<void()> OnSearchFinished;

    // The caller clears the stop flag before.
    void Start(const SearchQuery& query, std::vector<ScannedShare> entries, int maxWorkers);

    // Starts workers while MaxSearchWorkers - ActiveSearchWorkers >= i for
    // i = 0, 1, 2, ... and entries are pending. Returns how many it started.
    int LaunchWorkers();

    bool Running() const { return ActiveSearchWorkers > 0; }
    // Waits until every worker started by this runner has ended. The owner
    // sets the stop flag first (and at quit shuts the SMB helper pool down,
    // which unblocks a worker waiting on its helper). The destructor does it too.
    void WaitForWorkers();
    // Workers already running keep the walker they started with.
    void SetWalker(ShareWalker& walker) { walker_ = &walker; }

    std::deque<ScannedShare> PendingShares;
    int MaxSearchWorkers = 6;
    int ActiveSearchWorkers = 0;

private:
    void WorkerFinished();

    SearchOwner& owner_;
    ShareWalker* walker_;
    std::vector<QPointer<SearchWorker>> workers_;
    const std::atomic<bool>& stop_;
    SearchQuery query_;
};

} // namespace ormix

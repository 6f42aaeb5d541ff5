#include "search/searchrunner.h"

namespace ormix {

SearchRunner::SearchRunner(SearchOwner& owner, ShareWalker& walker, const std::atomic<bool>& stopRequested,
                           QObject* parent)
    : QObject(parent), owner_(owner), walker_(&walker), stop_(stopRequested) {}

SearchRunner::~SearchRunner() {
    WaitForWorkers();
}

void SearchRunner::WaitForWorkers() {
    for (const QPointer<SearchWorker>& worker : workers_)
        if (worker)
            worker->wait();
    // The ended workers' deleteLater may never run now: delete them here.
    for (const QPointer<SearchWorker>& worker : workers_)
        delete worker.data();
    workers_.clear();
}

void SearchRunner::Start(const SearchQuery& query, std::vector<ScannedShare> entries, int maxWorkers) {
    query_ = query;
    MaxSearchWorkers = maxWorkers;
    ActiveSearchWorkers = 0;
    PendingShares.assign(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    LaunchWorkers();
    // Nothing started means no end notification will ever come.
    if (ActiveSearchWorkers == 0 && OnSearchFinished)
        OnSearchFinished();
}

int SearchRunner::LaunchWorkers() {
    int started = 0;
    // The bound is re-read at every step while the count grows: from idle
    // with 6 allowed this starts 4; later calls top the pool up. Steps after
    // the last pending entry could start nothing, so the loop ends there (a
    // huge bound would otherwise spin).
    for (int64_t i = 0; int64_t(MaxSearchWorkers) - ActiveSearchWorkers >= i; ++i) {
        if (PendingShares.empty())
            break;
        const ScannedShare entry = PendingShares.front();
        if (OnShareStarted)
            OnShareStarted(entry);
        auto* worker = new SearchWorker(query_, stop_, owner_, *this, *walker_);
        worker->RootPath = entry.path + '\\';
        worker->HostName = entry.computerName;
        connect(worker, &QThread::finished, this, &SearchRunner::WorkerFinished);
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        PendingShares.pop_front();
        std::erase_if(workers_, [](const QPointer<SearchWorker>& w) { return w.isNull(); });
        workers_.emplace_back(worker);
        worker->start();
        ++ActiveSearchWorkers;
        ++started;
    }
    return started;
}

void SearchRunner::WorkerFinished() {
    --ActiveSearchWorkers;
    if (stop_.load())
        PendingShares.clear();
    if (!PendingShares.empty())
        LaunchWorkers();
    if (ActiveSearchWorkers == 0 && OnSearchFinished)
        OnSearchFinished();
}

} // namespace ormix

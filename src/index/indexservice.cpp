#include "index/indexservice.h"

#include "index/refresh.h"
#include "settings/appsettings.h"
#include "settings/configfile.h"

namespace ormix {

IndexSettings LoadIndexSettings(const ConfigFile& cfg) {
    const AppSettings app = loadAppSettings(cfg);
    IndexSettings s;
    s.refreshAfterScan = app.indexShares;
    s.maxWalks = std::clamp(app.indexWalks, 1, 64);
    s.db = app.indexDb;
    s.excludedShares = app.excludedShares();
    return s;
}

IndexService::IndexService(ShareWalker& network, QObject* parent) : QObject(parent), network_(network) {}

IndexService::~IndexService() {
    stopRefresh();
    recorder_.reset();
    oldRecorders_.clear();
    if (writer_)
        writer_->finish();
}

void IndexService::stopRefresh() {
    stopRefresh_ = true;
    if (refresh_.joinable())
        refresh_.join();
    stopRefresh_ = false;
    refreshing_ = false;
}

void IndexService::configure(const IndexSettings& settings) {
    const bool reopen = !writer_ || settings.db != settings_.db;
    settings_ = settings;
    if (!reopen)
        return;
    stopRefresh();
    // Walks still running keep the recorder they started with; the window
    // takes searchWalker() again at its next search.
    if (recorder_)
        oldRecorders_.push_back(std::move(recorder_));
    if (writer_)
        oldWriters_.push_back(std::move(writer_));
    lastError_.clear();
    auto writer = std::make_unique<IndexWriter>();
    if (!writer->start(settings_.db, lastError_))
        return;
    writer_ = std::move(writer);
    recorder_ = std::make_unique<RecordingShareWalker>(network_, *writer_);
}

ShareWalker& IndexService::searchWalker(const std::vector<ScannedShare>& shares) {
    if (!recorder_)
        return network_;
    recorder_->SetEntries(shares);
    return *recorder_;
}

bool IndexService::holdsAnything() {
    if (!writer_)
        return false;
    IndexStore store;
    std::string error;
    if (!store.open(settings_.db, error))
        return false;
    for (const ShareState& s : store.shares())
        if (s.lastWalk > 0)
            return true;
    return false;
}

bool IndexService::startRefresh(std::vector<ScannedShare> shares) {
    if (refreshing_ || !recorder_)
        return false;
    if (refresh_.joinable())
        refresh_.join();
    refreshing_ = true;
    recorder_->SetEntries(shares);
    refresh_ = std::thread([this, shares = std::move(shares)] {
        const std::vector<RefreshOutcome> done =
            RefreshShares(*recorder_, shares, settings_.maxWalks, stopRefresh_);
        int complete = 0;
        for (const RefreshOutcome& o : done)
            complete += o.complete ? 1 : 0;
        const int failed = int(done.size()) - complete;
        QMetaObject::invokeMethod(
            this,
            [this, complete, failed] {
                if (refresh_.joinable())
                    refresh_.join();
                refreshing_ = false;
                if (onRefreshFinished)
                    onRefreshFinished(complete, failed);
            },
            Qt::QueuedConnection);
    });
    return true;
}

} // namespace ormix

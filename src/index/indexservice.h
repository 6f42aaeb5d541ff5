// The index as the program uses it: network searches of the search window
// record into it, a refresh after each scan keeps it fresh in the background,
// and the window asks it whether it holds anything. Owned by whoever owns the
// search window; its threads are stopped and joined by its destructor.
// Tests: tests/index/indexservice_test.cpp.
#pragma once

#include "index/recording.h"
#include "search/sharewalk.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ormix {

class ConfigFile;

// cfg.ini section "main": IndexShares ("Индексировать ресурсы"), IndexWalks
// (shares walked at once by a refresh), IndexDb (empty: the default file;
// or a file path, or postgresql://...), ExcludeRes (the excluded shares).
struct IndexSettings {
    bool refreshAfterScan = false;
    int maxWalks = 4;
    std::string db;
    std::vector<std::string> excludedShares;
};
IndexSettings LoadIndexSettings(const ConfigFile& cfg);

class IndexService : public QObject {
    Q_OBJECT
public:
    explicit IndexService(ShareWalker& network, QObject* parent = nullptr);
    ~IndexService() override;

    // Opens the writer on settings.db; an index that cannot be opened leaves
    // searches on the network unrecorded and says why in lastError().
    void configure(const IndexSettings& settings);
    const IndexSettings& settings() const { return settings_; }
    std::string lastError() const { return lastError_; }

    // What the window's network search walks through: records when the index
    // is open, each share's rows labelled with its computer name.
    ShareWalker& searchWalker(const std::vector<ScannedShare>& shares);
    // Any share walked completely.
    bool holdsAnything();

    // Walks the shares in the background; false when a refresh is already
    // running or the index is closed.
    bool startRefresh(std::vector<ScannedShare> shares);
    bool refreshing() const { return refreshing_; }
    // Main thread, when a refresh has ended: shares walked completely, and not.
    std::function<void(int complete, int failed)> onRefreshFinished;

private:
    void stopRefresh();

    ShareWalker& network_;
    IndexSettings settings_;
    std::string lastError_;
    std::unique_ptr<IndexWriter> writer_;
    std::unique_ptr<RecordingShareWalker> recorder_;
    // Replaced ones: a search may still walk through them, so they live on.
    std::vector<std::unique_ptr<RecordingShareWalker>> oldRecorders_;
    std::vector<std::unique_ptr<IndexWriter>> oldWriters_;
    std::thread refresh_;
    std::atomic<bool> stopRefresh_{false};
    bool refreshing_ = false;
};

} // namespace ormix

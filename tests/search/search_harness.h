// Runs searches over a FakeWalker tree on a SearchRunner and records what the
// owner receives, for the worker and pool tests.
#pragma once

#include "fake_share.h"
#include "fixtures/waitfor.h"
#include "regex/regexpr.h"
#include "search/pattern.h"
#include "search/searchrunner.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <string>
#include <vector>

namespace ormix::testing {

struct Found {
    std::string host, folder, name;
    int64_t size;
};

class RecordingOwner : public SearchOwner {
public:
    void AddFoundFile(const std::string& host, const std::string& folder, int64_t size,
                      const std::string& name) override {
        onMainThread &= QThread::currentThread() == QCoreApplication::instance()->thread();
        found.push_back({host, folder, name, size});
        if (onFound)
            onFound();
    }
    void AddSearchNote(SearchNote note, const std::string& host, const std::string& path) override {
        onMainThread &= QThread::currentThread() == QCoreApplication::instance()->thread();
        notes.push_back({note, host, path});
        if (onNote)
            onNote();
    }
    void AddExaminedCount(int64_t count) override {
        onMainThread &= QThread::currentThread() == QCoreApplication::instance()->thread();
        counts.push_back(count);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const Found& f : found)
            n.push_back(f.name);
        std::sort(n.begin(), n.end());
        return n;
    }

    struct Note {
        SearchNote kind;
        std::string host, path;
    };
    std::vector<Found> found;
    std::vector<int64_t> counts;
    std::vector<Note> notes;
    std::function<void()> onFound;
    std::function<void()> onNote;
    bool onMainThread = true;
};

inline SearchQuery makeQuery(const std::string& text, bool regex, int64_t lo = 0, int64_t hi = 0) {
    SearchQuery q;
    q.expression = PreparePattern(text, regex).value_or(std::string());
    q.modifiers = TRegExpr().GetModifierStr();
    q.regexMode = regex;
    q.minSizeBytes = lo;
    q.maxSizeBytes = hi;
    return q;
}

struct SearchHarness {
    FakeWalker walker;
    RecordingOwner owner;
    std::atomic<bool> stop{false};
    SearchRunner runner{owner, walker, stop};
    std::vector<std::string> started;
    int finishedCalls = 0;

    SearchHarness() {
        runner.OnShareStarted = [this](const ScannedShare& e) { started.push_back(ScannedShareText(e)); };
        runner.OnSearchFinished = [this] { ++finishedCalls; };
    }
    ~SearchHarness() {
        waitFor([this] { return !runner.Running(); });
    }

    void startShares(const SearchQuery& q, std::vector<ScannedShare> shares, int maxWorkers) {
        finishedCalls = 0;
        runner.Start(q, std::move(shares), maxWorkers);
    }
    void start(const SearchQuery& q, const std::vector<std::string>& entries, int maxWorkers) {
        std::vector<ScannedShare> shares;
        for (const std::string& e : entries)
            shares.push_back(ParseScannedShare(e));
        startShares(q, std::move(shares), maxWorkers);
    }
    bool finish() {
        return waitFor([this] { return finishedCalls > 0; }) &&
               // the finished() of the last thread may still be on its way to deleteLater
               !runner.Running();
    }
    // One share, one search, to the end.
    void search(const SearchQuery& q, const std::string& entry = "\\\\127.0.0.1\\s<>HOST") {
        start(q, {entry}, 6);
        finish();
    }
};

} // namespace ormix::testing

// ScanSession: the state of the scan in progress and of the threads it runs,
// without a widget: the scanner, the hosts waiting for a share worker, the
// bounded pool of share workers and the scan's generation. The main window
// starts it, hands it the hosts the scanner reports, and turns what it posts
// (a computer with its shares, the end of a worker, of the scanner and of the
// whole scan) into rows and status lines. Everything runs on the main thread
// but the workers and the scanner themselves.
// Tests: tests/gui/scancontrol_test.cpp.
#pragma once

#include "scan/nbstat.h"
#include "scan/scanner.h"
#include "shares/sharelist.h"
#include "shares/sharelistworker.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace ormix {

class ScanSession : public QObject {
    Q_OBJECT
public:
    explicit ScanSession(QObject* parent = nullptr);
    ~ScanSession() override;

    // Begins a scan of `options` with at most `maxWorkers` share workers at
    // once: the counters start over, the workers of the last scan are
    // forgotten (not stopped) and LaunchScanner runs.
    void Start(ScanOptions options, std::shared_ptr<ScanObserver> observer, int maxWorkers);
    // One host the scanner reported: queued, and share workers start while
    // fewer than MaxWorkers run.
    void HostFound(const HostTexts& host);
    // The scanner's end notification.
    void ScannerDone();
    // True until the scanner and every share worker of the scan have ended.
    bool Busy() const { return ActiveWorkers > 0 || RunningScanners > 0; }

    // What LaunchScanner does by default: a Scanner on a thread of its own,
    // kept so that the next scan or the quit joins it.
    void StartOwnScanner(ScanOptions options, std::shared_ptr<ScanObserver> observer);
    // At quit, after the SMB helper pool's shutdown: stops the scanner and
    // waits for it and for every share worker still running.
    void StopAndJoin();

    // What the share workers go by from now on.
    void SetShareSettings(ShareSettingsPtr settings) { shareSettings_ = std::move(settings); }
    const ShareSettings& CurrentShareSettings() const { return *shareSettings_; }

    // Hosts waiting for a share worker, oldest first.
    std::deque<HostTexts> PendingHosts;
    int MaxWorkers = 6;    // key MaxAddThrds, read at every scan start
    int ActiveWorkers = 0; // share workers started and not yet ended
    int RunningScanners = 0;
    // Every share worker started since the scan start; null once it is gone.
    QList<QPointer<ShareListWorker>> WorkerHandles;
    // Counts the scans; what a scan started carries it, so that news of an
    // older scan can be told apart.
    int Generation = 0;

    // Lists the shares of one computer for the share workers: the SMB helper
    // pool by default; tests and benchmarks put their own in its place.
    ShareLister Lister;
    // Starts the scanner with these options and this observer; by default
    // StartOwnScanner.
    std::function<void(ScanOptions, std::shared_ptr<ScanObserver>)> LaunchScanner;
    // The share workers' log lines, on their own threads.
    std::function<void(const std::string&)> Log;

signals:
    // A share worker's computer with its shares, to become a tree row.
    void HostListed(const HostInfo& host);
    // A share worker ended (ActiveWorkers counts it no longer).
    void WorkerEnded();
    // The scanner ended (RunningScanners counts it no longer).
    void ScannerEnded();
    // The scanner and every share worker of the scan have ended.
    void Finished();

private:
    void startWorkers();
    void workerDone();

    ShareSettingsPtr shareSettings_;
    std::unique_ptr<QueuedHostReceiver> receiver_;
    // The scanner started by StartOwnScanner, kept to be joined.
    std::shared_ptr<Scanner> scanner_;
};

} // namespace ormix

// ScanSession; see scansession.h.
#include "gui/scansession.h"

#include "shares/smbpool.h"

#include <QThread>

#include <utility>

namespace ormix {

ScanSession::ScanSession(QObject* parent)
    : QObject(parent), shareSettings_(std::make_shared<const ShareSettings>()) {
    receiver_ =
        std::make_unique<QueuedHostReceiver>(this, [this](const HostInfo& host) { emit HostListed(host); });
    Lister = poolLister(processSmbPool(), processSignIn());
    LaunchScanner = [this](ScanOptions options, std::shared_ptr<ScanObserver> observer) {
        StartOwnScanner(std::move(options), std::move(observer));
    };
}

ScanSession::~ScanSession() = default;

void ScanSession::Start(ScanOptions options, std::shared_ptr<ScanObserver> observer, int maxWorkers) {
    ActiveWorkers = 0;
    PendingHosts.clear();
    WorkerHandles.clear(); // forgotten, not stopped
    MaxWorkers = maxWorkers;
    ++Generation;
    processSignIn().newScan();
    RunningScanners = 1;
    LaunchScanner(std::move(options), std::move(observer));
}

void ScanSession::HostFound(const HostTexts& host) {
    PendingHosts.push_back(host);
    startWorkers();
}

void ScanSession::startWorkers() {
    while (!PendingHosts.empty() && ActiveWorkers < MaxWorkers) {
        const HostTexts host = std::move(PendingHosts.front());
        PendingHosts.pop_front();
        ++ActiveWorkers;
        auto* worker =
            new ShareListWorker(Lister, shareSettings_, receiver_.get(), [this](const std::string& line) {
                if (Log)
                    Log(line);
            });
        worker->Host.Name = host.name;
        worker->Host.Ip = host.ip;
        processSignIn().noteName(host.ip, host.name);
        worker->Host.Mac = host.mac;
        worker->Host.Workgroup = host.workgroup;
        worker->Host.FoundBy = discoveryMethodLabels(host.foundBy);
        connect(worker, &QThread::finished, this, &ScanSession::workerDone);
        // Parentless, so that nothing destroys a worker that still runs; the
        // quit joins it (StopAndJoin).
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        WorkerHandles.append(worker);
        worker->start();
    }
}

void ScanSession::workerDone() {
    --ActiveWorkers;
    emit WorkerEnded();
    if (!PendingHosts.empty())
        startWorkers();
    if (!Busy())
        emit Finished();
}

void ScanSession::ScannerDone() {
    --RunningScanners;
    emit ScannerEnded();
    if (!Busy())
        emit Finished();
}

void ScanSession::StartOwnScanner(ScanOptions options, std::shared_ptr<ScanObserver> observer) {
    if (scanner_) {
        scanner_->requestStop();
        scanner_->join();
    }
    scanner_ = std::make_shared<Scanner>(std::move(options), std::move(observer));
    scanner_->start();
}

void ScanSession::StopAndJoin() {
    // The SMB helpers the share workers wait on are gone by now (the pool's
    // shutdown), so every worker ends at once.
    if (scanner_) {
        scanner_->requestStop();
        scanner_->join();
    }
    for (const QPointer<ShareListWorker>& worker : WorkerHandles)
        if (worker)
            worker->wait();
}

} // namespace ormix

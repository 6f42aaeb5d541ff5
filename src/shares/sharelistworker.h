// ShareListWorker: the share worker of one answering computer. It lists the
// computer's shares (when share counting is on), drops the excluded ones and
// posts the HostInfo to the tree through a HostReceiver; it never waits for the
// main thread. Its end notification is QThread::finished.
// Tests: tests/shares/sharelistworker_test.cpp.
#pragma once

#include "shares/sharelist.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>

namespace ormix {

// Where a worker delivers its computer (the tree, in the program).
class HostReceiver {
public:
    virtual ~HostReceiver() = default;
    // Called on the worker's thread; must not wait for another thread.
    virtual void InsertHostNode(const HostInfo& host) = 0;
};

// Queues a copy of the record to the thread of `context` (the main window's
// thread), where `insert` runs; the worker goes on at once. Queued calls keep
// their order, so the record arrives before the worker's finished signal.
// Nothing runs once `context` is gone.
class QueuedHostReceiver : public HostReceiver {
public:
    QueuedHostReceiver(QObject* context, std::function<void(const HostInfo&)> insert);
    void InsertHostNode(const HostInfo& host) override;

private:
    QObject* context_;
    std::function<void(const HostInfo&)> insert_;
};

class ShareListWorker : public QThread {
    Q_OBJECT
public:
    // settings is the snapshot this worker goes by; receiver and the lister's
    // pool must outlive the worker. log is called on the worker's thread.
    ShareListWorker(ShareLister lister, ShareSettingsPtr settings, HostReceiver* receiver, LogFn log,
                    QObject* parent = nullptr);

    // Name, Ip, Mac and Workgroup are set before start(); the worker fills the shares.
    HostInfo Host;

    // Status of the enumeration once the worker has finished (0 when none ran).
    int32_t status() const { return status_.load(); }
    // Whether the computer was handed to the receiver.
    bool handedOver() const { return handedOver_.load(); }

protected:
    void run() override;

private:
    void work();
    ShareLister lister_;
    ShareSettingsPtr settings_;
    HostReceiver* receiver_;
    LogFn log_;
    std::atomic<int32_t> status_{0};
    std::atomic<bool> handedOver_{false};
};

} // namespace ormix

// The share worker thread (see sharelistworker.h).
#include "shares/sharelistworker.h"

#include <QMetaObject>

namespace ormix {

QueuedHostReceiver::QueuedHostReceiver(QObject* context, std::function<void(const HostInfo&)> insert)
    : context_(context), insert_(std::move(insert)) {}

void QueuedHostReceiver::InsertHostNode(const HostInfo& host) {
    if (QThread::currentThread() == context_->thread()) {
        insert_(host);
        return;
    }
    // insert_ belongs to the receiver, which lives as long as context_.
    QMetaObject::invokeMethod(
        context_, [this, host] { insert_(host); }, Qt::QueuedConnection);
}

ShareListWorker::ShareListWorker(ShareLister lister, ShareSettingsPtr settings, HostReceiver* receiver,
                                 LogFn log, QObject* parent)
    : QThread(parent), lister_(std::move(lister)), settings_(std::move(settings)), receiver_(receiver),
      log_(std::move(log)) {
    if (!settings_)
        settings_ = std::make_shared<const ShareSettings>();
}

void ShareListWorker::run() {
    // Whatever fails in here ends this worker quietly; its end notification still runs.
    try {
        work();
    } catch (...) {
    }
}

void ShareListWorker::work() {
    const ShareSettings& s = *settings_;
    Host.clearShares();
    if (s.showShareCount)
        status_ = EnumerateShares(Host, s.excludedShares, lister_, log_);
    if (s.showShareCount && s.hideEmptyHosts && Host.ShareCount == 0)
        return;
    if (receiver_) {
        receiver_->InsertHostNode(Host);
        handedOver_ = true;
    }
}

} // namespace ormix

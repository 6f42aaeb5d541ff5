// The share worker thread (see addhostthr.h).
#include "shares/addhostthr.h"

#include <QMetaObject>

namespace ormix {

QueuedHostReceiver::QueuedHostReceiver(QObject* context, std::function<void(const HOSTINF&)> insert)
    : context_(context), insert_(std::move(insert)) {}

void QueuedHostReceiver::InsertHostNode(const HOSTINF& host) {
    if (QThread::currentThread() == context_->thread()) {
        insert_(host);
        return;
    }
    // insert_ belongs to the receiver, which lives as long as context_.
    QMetaObject::invokeMethod(
        context_, [this, host] { insert_(host); }, Qt::QueuedConnection);
}

AddHostThr::AddHostThr(ShareLister lister, ShareSettingsPtr settings, HostReceiver* receiver, LogFn log,
                       QObject* parent)
    : QThread(parent), lister_(std::move(lister)), settings_(std::move(settings)), receiver_(receiver),
      log_(std::move(log)) {
    if (!settings_)
        settings_ = std::make_shared<const ShareSettings>();
}

void AddHostThr::run() {
    // Whatever fails in here ends this worker quietly; its end notification still runs.
    try {
        work();
    } catch (...) {
    }
}

void AddHostThr::work() {
    const ShareSettings& s = *settings_;
    Host.clearShares();
    if (s.ShowResCount)
        status_ = EnumerateShares(Host, s.ExcludedShares, lister_, log_);
    if (s.ShowResCount && s.EmptyRes && Host.ShareCount == 0)
        return;
    if (receiver_) {
        receiver_->InsertHostNode(Host);
        handedOver_ = true;
    }
}

} // namespace ormix

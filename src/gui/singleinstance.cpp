// One running copy per user: lock file + local socket.
#include "gui/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

#include <unistd.h>

namespace ormix {

namespace {

const QByteArray kRestoreRequest = QByteArrayLiteral("restore\n");

QString defaultFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), folder_(folder.isEmpty() ? defaultFolder() : std::move(folder)) {}

SingleInstance::~SingleInstance() {
    Release();
}

QString SingleInstance::BaseName() {
    return QStringLiteral("ORMIXMUTEX218i-%1").arg(static_cast<qulonglong>(::getuid()));
}

QString SingleInstance::SocketPath() const {
    return QDir(folder_).filePath(BaseName());
}

bool SingleInstance::TryBecomePrimary() {
    if (lock_)
        return true;
    auto lock = std::make_unique<QLockFile>(SocketPath() + QStringLiteral(".lock"));
    // The lock is held for the whole life of the process, however long: it goes
    // stale only when its owner is gone.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    lock_ = std::move(lock);

    // A socket file left by a copy that crashed would block listen().
    QLocalServer::removeServer(SocketPath());
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::AcceptConnections);
    if (!server_->listen(SocketPath()))
        qWarning("ORMIX: cannot listen on %s: %s", qPrintable(SocketPath()),
                 qPrintable(server_->errorString()));
    return true;
}

void SingleInstance::AcceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->property("ormixDone").toBool())
                return;
            while (socket->canReadLine()) {
                if (socket->readLine() == kRestoreRequest) {
                    socket->setProperty("ormixDone", true);
                    emit RestoreRequested();
                    return;
                }
            }
            if (socket->bytesAvailable() > 256) // not one of ours
                socket->abort();
        });
    }
}

bool SingleInstance::SendRestoreRequest(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(int(std::min<qint64>(deadline.remainingTime(), 500)))) {
            socket.write(kRestoreRequest);
            const bool sent =
                socket.waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 100)));
            socket.disconnectFromServer();
            return sent;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

void SingleInstance::Release() {
    if (server_) {
        server_->close();
        delete server_;
        server_ = nullptr;
    }
    if (lock_) {
        lock_->unlock();
        lock_.reset();
    }
}

} // namespace ormix

// One running copy of ORMIX per user. The first copy holds a lock file and
// listens on a local socket; a later copy finds the lock taken, sends a restore
// request through the socket and ends, so the first copy comes back to the front.
// Both files live in the user's runtime folder and their names carry the user id.
// Tests: tests/shell/singleinstance_test.cpp.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace ormix {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` holds the lock file and the socket; empty means the user's runtime folder.
    explicit SingleInstance(QString folder = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening. False when another copy holds the lock.
    bool TryBecomePrimary();

    // Asks the running copy to restore its window. Keeps trying for `timeoutMs`
    // (that copy may hold the lock and not listen yet); false if nobody answered.
    bool SendRestoreRequest(int timeoutMs = 3000);

    // Stops listening and frees the lock (the process is about to end).
    void Release();

    // "ORMIXMUTEX218i-<user id>": the name of the socket; the lock file adds ".lock".
    static QString BaseName();

    QString SocketPath() const;

signals:
    // A later copy asked for the window. Emitted on the main thread.
    void RestoreRequested();

private:
    void AcceptConnections();

    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

} // namespace ormix

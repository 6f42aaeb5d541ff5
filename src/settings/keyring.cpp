// Synchronous wrappers around QtKeychain's jobs (see keyring.h).
#include "settings/keyring.h"

#include "shares/smbproto.h"

#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace ormix::keyring {

namespace {

// The keyring may need to start (D-Bus activation) or ask the user to unlock.
constexpr int kAnswerTimeoutMs = 30000;

Result run(QKeychain::Job& job) {
    if (!QCoreApplication::instance())
        return Result::Unavailable;
    job.setAutoDelete(false);
    job.setInsecureFallback(false); // never a plain-text store
    QEventLoop loop;
    bool answered = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        answered = true;
        loop.quit();
    });
    QTimer::singleShot(kAnswerTimeoutMs, &loop, &QEventLoop::quit);
    job.start();
    if (!answered)
        loop.exec();
    if (!answered)
        return Result::Failed;
    switch (job.error()) {
    case QKeychain::NoError:
        return Result::Ok;
    case QKeychain::EntryNotFound:
        return Result::NotFound;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return Result::Unavailable;
    case QKeychain::OtherError:
        // QtKeychain reports a missing service or session bus this way.
        return Result::Unavailable;
    default:
        return Result::Failed;
    }
}

} // namespace

Result read(const std::string& key, std::string& password) {
    QKeychain::ReadPasswordJob job(QString::fromLatin1(kService));
    job.setKey(QString::fromStdString(key));
    const Result r = run(job);
    if (r == Result::Ok) {
        QByteArray data = job.binaryData();
        password.assign(data.constData(), static_cast<size_t>(data.size()));
        data.fill('\0');
    }
    return r;
}

Result write(const std::string& key, const std::string& password) {
    QKeychain::WritePasswordJob job(QString::fromLatin1(kService));
    job.setKey(QString::fromStdString(key));
    QByteArray data(password.data(), static_cast<qsizetype>(password.size()));
    job.setBinaryData(data);
    data.fill('\0');
    return run(job);
}

Result remove(const std::string& key) {
    QKeychain::DeletePasswordJob job(QString::fromLatin1(kService));
    job.setKey(QString::fromStdString(key));
    return run(job);
}

} // namespace ormix::keyring

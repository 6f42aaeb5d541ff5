#include "index/indexstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <atomic>
#include <cstdlib>

namespace ormix {

namespace {

std::atomic<int> g_connectionSerial{0};

std::string errorText(const QSqlError& e) {
    return e.text().toStdString();
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Rows of one multi-row INSERT: a few hundred bound values per statement
// keeps both back ends far below their parameter limits and saves the
// round trip per row that PostgreSQL would otherwise pay.
constexpr int kRowsPerInsert = 100;

bool exec(QSqlQuery& query, const QString& sql, std::string& error) {
    if (query.exec(sql))
        return true;
    error = errorText(query.lastError());
    return false;
}

} // namespace

bool SplitSharePath(const std::string& share, std::string& hostIp, std::string& shareName) {
    if (share.size() < 5 || share.compare(0, 2, "\\\\") != 0)
        return false;
    const size_t slash = share.find('\\', 2);
    if (slash == std::string::npos || slash == 2 || slash + 1 >= share.size() ||
        share.find('\\', slash + 1) != std::string::npos)
        return false;
    hostIp = share.substr(2, slash - 2);
    shareName = share.substr(slash + 1);
    return true;
}

IndexStore::IndexStore() : connection_(QStringLiteral("ormix-index-%1").arg(++g_connectionSerial)) {}

IndexStore::~IndexStore() {
    if (QSqlDatabase::contains(connection_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(connection_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection_);
    }
}

std::string IndexStore::defaultPath() {
    std::string base;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/')
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::string(h) + "/.local/share";
    else
        base = "/tmp";
    return base + "/ormix/index.sqlite";
}

bool IndexStore::isPostgresLocation(const std::string& location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

QSqlDatabase IndexStore::database() const {
    return QSqlDatabase::database(connection_, false);
}

bool IndexStore::open(const std::string& locationIn, std::string& error) {
    const std::string location = locationIn.empty() ? defaultPath() : locationIn;
    postgres_ = isPostgresLocation(location);
    const QString driver = postgres_ ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        error = "the Qt SQL driver " + driver.toStdString() + " is not installed";
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connection_);
    if (postgres_) {
        const QUrl url(q(location), QUrl::StrictMode);
        const QString name = url.path().mid(1);
        if (!url.isValid() || name.isEmpty() || name.contains('/')) {
            error = "not a PostgreSQL address (postgresql://[user@][host][:port]/database): " + location;
            return false;
        }
        db.setDatabaseName(name);
        QString host = url.host();
        const QUrlQuery query(url);
        if (query.hasQueryItem("host"))
            host = query.queryItemValue("host", QUrl::FullyDecoded);
        if (!host.isEmpty())
            db.setHostName(host);
        if (url.port() > 0)
            db.setPort(url.port());
        if (!url.userName().isEmpty())
            db.setUserName(url.userName(QUrl::FullyDecoded));
        if (!url.password().isEmpty())
            db.setPassword(url.password(QUrl::FullyDecoded));
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    } else {
        const QFileInfo file(q(location));
        if (!QDir().mkpath(file.absolutePath())) {
            error = "cannot create the folder " + file.absolutePath().toStdString();
            return false;
        }
        db.setDatabaseName(file.absoluteFilePath());
        // Another process (a refresh beside the window) may hold the write
        // lock for a while: wait for it instead of failing at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    }
    if (!db.open()) {
        error = errorText(db.lastError());
        return false;
    }
    if (!postgres_) {
        QSqlQuery p(db);
        // WAL: searches read the last committed state while a refresh writes.
        if (!exec(p, "PRAGMA journal_mode=WAL", error) || !exec(p, "PRAGMA synchronous=NORMAL", error))
            return false;
    }
    if (!createOrMigrate(error))
        return false;
    open_ = true;
    return true;
}

// Version 1 had no modification times and no per-share counts; version 2
// adds both.
bool IndexStore::createOrMigrate(std::string& error) {
    QSqlDatabase db = database();
    QSqlQuery query(db);
    int version = 0;
    // No table yet reads as version 0 (a new index).
    if (db.tables().contains(QStringLiteral("ormix_meta"))) {
        if (!exec(query, "SELECT value FROM ormix_meta WHERE name = 'schema'", error))
            return false;
        if (query.next())
            version = query.value(0).toString().toInt();
    }
    if (version > kIndexSchemaVersion) {
        error = "the index was written by a newer ORMIX (schema " + std::to_string(version) + ")";
        return false;
    }
    if (version == kIndexSchemaVersion)
        return true;

    if (!db.transaction()) {
        error = errorText(db.lastError());
        return false;
    }
    bool ok = true;
    if (version == 0) {
        const QString id = postgres_ ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY";
        ok = exec(query, "CREATE TABLE ormix_meta (name TEXT PRIMARY KEY, value TEXT NOT NULL)", error) &&
             exec(query,
                  "CREATE TABLE ormix_shares (id " + id +
                      ", share TEXT NOT NULL UNIQUE, host_ip TEXT NOT NULL, host_name TEXT NOT NULL,"
                      " last_walk BIGINT NOT NULL DEFAULT 0, last_attempt BIGINT NOT NULL DEFAULT 0,"
                      " outcome INTEGER NOT NULL DEFAULT 0, files BIGINT NOT NULL DEFAULT 0,"
                      " folders BIGINT NOT NULL DEFAULT 0)",
                  error) &&
             exec(query,
                  "CREATE TABLE ormix_entries (share_id BIGINT NOT NULL, seq BIGINT NOT NULL,"
                  " folder TEXT NOT NULL, name TEXT NOT NULL, is_folder SMALLINT NOT NULL,"
                  " size BIGINT NOT NULL, mtime BIGINT NOT NULL DEFAULT 0, last_seen BIGINT NOT NULL)",
                  error) &&
             exec(query, "CREATE INDEX ormix_entries_share ON ormix_entries (share_id)", error) &&
             exec(query, "INSERT INTO ormix_meta (name, value) VALUES ('schema', '2')", error) &&
             exec(query, "INSERT INTO ormix_meta (name, value) VALUES ('generation', '0')", error);
    } else {
        if (version < 2) {
            ok =
                exec(query, "ALTER TABLE ormix_entries ADD COLUMN mtime BIGINT NOT NULL DEFAULT 0", error) &&
                exec(query, "ALTER TABLE ormix_shares ADD COLUMN files BIGINT NOT NULL DEFAULT 0", error) &&
                exec(query, "ALTER TABLE ormix_shares ADD COLUMN folders BIGINT NOT NULL DEFAULT 0", error) &&
                exec(query,
                     "UPDATE ormix_shares SET"
                     " files = (SELECT COUNT(*) FROM ormix_entries e WHERE e.share_id = ormix_shares.id"
                     " AND e.is_folder = 0),"
                     " folders = (SELECT COUNT(*) FROM ormix_entries e WHERE e.share_id = ormix_shares.id"
                     " AND e.is_folder <> 0)",
                     error);
        }
        ok = ok && exec(query, "UPDATE ormix_meta SET value = '2' WHERE name = 'schema'", error) &&
             exec(query, "INSERT INTO ormix_meta (name, value) VALUES ('generation', '0')", error);
    }
    if (!ok) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        error = errorText(db.lastError());
        return false;
    }
    return true;
}

bool IndexStore::shareId(const std::string& share, const std::string& hostIp, const std::string& hostName,
                         int64_t& id, std::string& error) {
    QSqlQuery query(database());
    // A walk that knows no computer name (a refresh of bare share paths)
    // keeps the one the index has; a new share starts with its address.
    query.prepare(hostName.empty() ? "INSERT INTO ormix_shares (share, host_ip, host_name) VALUES (?, ?, ?)"
                                     " ON CONFLICT (share) DO NOTHING"
                                   : "INSERT INTO ormix_shares (share, host_ip, host_name) VALUES (?, ?, ?)"
                                     " ON CONFLICT (share) DO UPDATE SET host_name = excluded.host_name");
    query.addBindValue(q(share));
    query.addBindValue(q(hostIp));
    query.addBindValue(q(hostName.empty() ? hostIp : hostName));
    if (!query.exec()) {
        error = errorText(query.lastError());
        return false;
    }
    query.prepare("SELECT id FROM ormix_shares WHERE share = ?");
    query.addBindValue(q(share));
    if (!query.exec() || !query.next()) {
        error = errorText(query.lastError());
        return false;
    }
    id = query.value(0).toLongLong();
    return true;
}

bool IndexStore::replaceShare(const ShareSnapshot& snap, std::string& error) {
    if (!open_) {
        error = "the index is not open";
        return false;
    }
    QSqlDatabase db = database();
    if (!db.transaction()) {
        error = errorText(db.lastError());
        return false;
    }
    auto fail = [&](const QSqlQuery& query) {
        if (error.empty())
            error = errorText(query.lastError());
        db.rollback();
        return false;
    };
    int64_t id = 0;
    QSqlQuery query(db);
    if (!shareId(snap.share, snap.hostIp, snap.hostName, id, error))
        return fail(query);
    query.prepare("DELETE FROM ormix_entries WHERE share_id = ?");
    query.addBindValue(qlonglong(id));
    if (!query.exec())
        return fail(query);

    const size_t n = snap.entries.size();
    QString fullSql;
    for (size_t start = 0; start < n; start += kRowsPerInsert) {
        const size_t rows = std::min<size_t>(kRowsPerInsert, n - start);
        QString sql =
            "INSERT INTO ormix_entries (share_id, seq, folder, name, is_folder, size, mtime, last_seen)"
            " VALUES ";
        for (size_t r = 0; r < rows; ++r)
            sql += r ? ",(?,?,?,?,?,?,?,?)" : "(?,?,?,?,?,?,?,?)";
        // Full statements repeat; prepare the common one once.
        if (rows != kRowsPerInsert || fullSql.isEmpty()) {
            if (!query.prepare(sql))
                return fail(query);
            if (rows == kRowsPerInsert)
                fullSql = sql;
        }
        for (size_t r = 0; r < rows; ++r) {
            const IndexEntry& e = snap.entries[start + r];
            query.addBindValue(qlonglong(id));
            query.addBindValue(qlonglong(start + r));
            query.addBindValue(q(e.folder));
            query.addBindValue(q(e.name));
            query.addBindValue(e.isFolder ? 1 : 0);
            query.addBindValue(qlonglong(e.isFolder ? 0 : e.size));
            query.addBindValue(qlonglong(e.mtime));
            query.addBindValue(qlonglong(snap.walkedAt));
        }
        if (!query.exec())
            return fail(query);
    }
    int64_t folders = 0;
    for (const IndexEntry& e : snap.entries)
        folders += e.isFolder ? 1 : 0;
    query.prepare("UPDATE ormix_shares SET host_ip = ?, last_walk = ?, last_attempt = ?,"
                  " outcome = 0, files = ?, folders = ? WHERE id = ?");
    query.addBindValue(q(snap.hostIp));
    query.addBindValue(qlonglong(snap.walkedAt));
    query.addBindValue(qlonglong(snap.walkedAt));
    query.addBindValue(qlonglong(int64_t(n) - folders));
    query.addBindValue(qlonglong(folders));
    query.addBindValue(qlonglong(id));
    if (!query.exec())
        return fail(query);
    if (!query.exec("UPDATE ormix_meta SET value = CAST(CAST(value AS BIGINT) + 1 AS TEXT)"
                    " WHERE name = 'generation'"))
        return fail(query);
    if (!db.commit()) {
        error = errorText(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool IndexStore::recordFailedWalk(const std::string& share, const std::string& hostIp,
                                  const std::string& hostName, int64_t when, int32_t outcome,
                                  std::string& error) {
    if (!open_) {
        error = "the index is not open";
        return false;
    }
    int64_t id = 0;
    if (!shareId(share, hostIp, hostName, id, error))
        return false;
    QSqlQuery query(database());
    query.prepare("UPDATE ormix_shares SET last_attempt = ?, outcome = ? WHERE id = ?");
    query.addBindValue(qlonglong(when));
    query.addBindValue(outcome);
    query.addBindValue(qlonglong(id));
    if (!query.exec()) {
        error = errorText(query.lastError());
        return false;
    }
    return true;
}

int64_t IndexStore::generation(std::string* error) {
    QSqlQuery query(database());
    if (!query.exec("SELECT value FROM ormix_meta WHERE name = 'generation'") || !query.next()) {
        if (error)
            *error = errorText(query.lastError());
        return -1;
    }
    return query.value(0).toString().toLongLong();
}

std::vector<ShareState> IndexStore::shares(std::string* error) {
    std::vector<ShareState> out;
    if (!open_)
        return out;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec("SELECT id, share, host_ip, host_name, last_walk, last_attempt, outcome, files, folders"
                    " FROM ormix_shares ORDER BY share")) {
        if (error)
            *error = errorText(query.lastError());
        return out;
    }
    while (query.next()) {
        ShareState s;
        s.id = query.value(0).toLongLong();
        s.share = query.value(1).toString().toStdString();
        s.hostIp = query.value(2).toString().toStdString();
        s.hostName = query.value(3).toString().toStdString();
        s.lastWalk = query.value(4).toLongLong();
        s.lastAttempt = query.value(5).toLongLong();
        s.outcome = query.value(6).toInt();
        s.files = query.value(7).toLongLong();
        s.folders = query.value(8).toLongLong();
        out.push_back(std::move(s));
    }
    return out;
}

} // namespace ormix

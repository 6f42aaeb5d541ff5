// The share index: one row per file and folder every complete walk of a share
// listed, and one row per share with its last walk and outcome. SQLite file
// (default) or PostgreSQL, both through Qt SQL with one schema and one code
// path. Tests: tests/index/indexstore_test.cpp, tests/index/postgres_test.cpp.
#pragma once

#include <QSqlDatabase>

#include <cstdint>
#include <string>
#include <vector>

namespace ormix {

// The schema this build writes. Older files are migrated when opened; a newer
// one is refused rather than damaged.
inline constexpr int kIndexSchemaVersion = 2;

struct IndexEntry {
    std::string folder; // UTF-8, relative to the share root; empty or ending with '\'
    std::string name;   // UTF-8, as the listing gave it
    bool isFolder = false;
    int64_t size = 0;  // bytes; 0 for folders
    int64_t mtime = 0; // seconds since the epoch; 0 when the walk did not say
};

// Everything one complete walk of a share listed, in walk order.
struct ShareSnapshot {
    std::string share;    // "\\IP\name", no trailing backslash
    std::string hostIp;   // "IP"
    std::string hostName; // the computer name that labels results; empty: keep the known one
    int64_t walkedAt = 0; // seconds since the epoch
    std::vector<IndexEntry> entries;
};

struct ShareState {
    int64_t id = 0;
    std::string share, hostIp, hostName;
    int64_t lastWalk = 0;    // end of the last complete walk; 0: never
    int64_t lastAttempt = 0; // end of the last walk, complete or not
    int32_t outcome = 0;     // share status of the last walk (0 complete)
    int64_t files = 0, folders = 0;
};

class IndexStore {
public:
    IndexStore();
    ~IndexStore();
    IndexStore(const IndexStore&) = delete;
    IndexStore& operator=(const IndexStore&) = delete;

    // $XDG_DATA_HOME/ormix/index.sqlite (~/.local/share/... when unset).
    static std::string defaultPath();
    static bool isPostgresLocation(const std::string& location);

    // location: empty for defaultPath(), "postgresql://[user[:password]@][host][:port]/db[?host=/socket/dir]"
    // for a PostgreSQL server, anything else a SQLite file (its folder is created).
    // Creates or migrates the schema. The store may be used only on the thread
    // that opened it (a Qt SQL rule); every thread opens its own.
    bool open(const std::string& location, std::string& error);
    bool isOpen() const { return open_; }
    bool isPostgres() const { return postgres_; }

    // Swaps the share's rows for the snapshot in one transaction: readers see
    // the old rows or the new ones, never a mixture, and a process killed
    // halfway leaves the old ones.
    bool replaceShare(const ShareSnapshot& snap, std::string& error);
    // A walk that did not complete: the share keeps its rows and their times;
    // only the attempt and its outcome are noted.
    bool recordFailedWalk(const std::string& share, const std::string& hostIp, const std::string& hostName,
                          int64_t when, int32_t outcome, std::string& error);

    // Grows with every share swapped in: a copy of the rows taken at one
    // generation is current while the generation stays. -1 on error.
    int64_t generation(std::string* error = nullptr);

    // Every share the index knows, with its counts, ordered by share path.
    std::vector<ShareState> shares(std::string* error = nullptr);

    QSqlDatabase database() const;

private:
    bool createOrMigrate(std::string& error);
    bool shareId(const std::string& share, const std::string& hostIp, const std::string& hostName,
                 int64_t& id, std::string& error);

    QString connection_;
    bool open_ = false;
    bool postgres_ = false;
};

// The parts of a share path "\\IP\name": false when it is not one.
bool SplitSharePath(const std::string& share, std::string& hostIp, std::string& shareName);

} // namespace ormix

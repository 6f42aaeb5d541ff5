// The SQLite index: the shared table of cases, refresh and failures
// (index_cases.h), migration of an older schema, a newer one refused, and
// the prefilter's translation.
#include "index_cases.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace ormix::testing {
namespace {

TEST(IndexStore, SqliteCases) {
    QTemporaryDir dir;
    RunIndexCases(dir.path().toStdString() + "/sub/index.sqlite");
}

// The first layout: no modification times, no per-share counts.
void writeVersion1(const QString& path) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "v1");
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const char* sql :
             {"CREATE TABLE ormix_meta (name TEXT PRIMARY KEY, value TEXT NOT NULL)",
              "INSERT INTO ormix_meta VALUES ('schema', '1')",
              "CREATE TABLE ormix_shares (id INTEGER PRIMARY KEY, share TEXT NOT NULL UNIQUE,"
              " host_ip TEXT NOT NULL, host_name TEXT NOT NULL, last_walk BIGINT NOT NULL DEFAULT 0,"
              " last_attempt BIGINT NOT NULL DEFAULT 0, outcome INTEGER NOT NULL DEFAULT 0)",
              "CREATE TABLE ormix_entries (share_id BIGINT NOT NULL, seq BIGINT NOT NULL, folder TEXT NOT "
              "NULL,"
              " name TEXT NOT NULL, is_folder SMALLINT NOT NULL, size BIGINT NOT NULL, last_seen BIGINT NOT "
              "NULL)",
              "CREATE INDEX ormix_entries_share ON ormix_entries (share_id)",
              "INSERT INTO ormix_shares VALUES (7, '\\\\127.0.0.9\\Old', '127.0.0.9', 'OLDHOST', 1700000000,"
              " 1700000000, 0)",
              "INSERT INTO ormix_entries VALUES (7, 0, '', 'sub', 1, 0, 1700000000)",
              "INSERT INTO ormix_entries VALUES (7, 1, 'sub\\', 'kept.txt', 0, 42, 1700000000)",
              "INSERT INTO ormix_entries VALUES (7, 2, '', 'other.dat', 0, 1, 1700000000)"})
            ASSERT_TRUE(q.exec(sql)) << sql;
    }
    QSqlDatabase::removeDatabase("v1");
}

TEST(IndexStore, MigratesVersion1AndRefusesNewer) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/index.sqlite";
    writeVersion1(path);
    {
        IndexStore store;
        std::string error;
        ASSERT_TRUE(store.open(path.toStdString(), error)) << error;
        const std::vector<ShareState> shares = store.shares();
        ASSERT_EQ(shares.size(), 1u);
        EXPECT_EQ(shares[0].files, 2);
        EXPECT_EQ(shares[0].folders, 1);
        const IndexResult r = indexHits(store, IndexQuery{makeQuery("*.txt", false), {}, {}}, "*.txt");
        EXPECT_EQ(r.hits, (HitSet{{"OLDHOST", "\\\\127.0.0.9\\Old\\sub\\kept.txt", 42}}));
        EXPECT_EQ(r.summary.examined, 2);
        // The migrated file takes new walks like a new one.
        ShareSnapshot snap{
            "\\\\127.0.0.9\\Old", "127.0.0.9", "OLDHOST", 1800000000, {{"", "new.txt", false, 5, 99}}};
        ASSERT_TRUE(store.replaceShare(snap, error)) << error;
        EXPECT_EQ(store.shares()[0].files, 1);
        QSqlQuery q(store.database());
        ASSERT_TRUE(q.exec("UPDATE ormix_meta SET value = '3' WHERE name = 'schema'"));
    }
    IndexStore newer;
    std::string error;
    EXPECT_FALSE(newer.open(path.toStdString(), error));
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
}

TEST(IndexStore, OpenErrorsAreClear) {
    IndexStore store;
    std::string error;
    EXPECT_FALSE(store.open("/proc/no-such-place/index.sqlite", error));
    EXPECT_FALSE(error.empty());
    IndexStore pg;
    error.clear();
    EXPECT_FALSE(pg.open("postgresql://host-without-database", error));
    EXPECT_NE(error.find("PostgreSQL"), std::string::npos) << error;
}

TEST(IndexStore, PrefilterOnlyForPlainSimpleText) {
    struct {
        const char* text;
        bool regex;
        const char* like; // nullptr: no prefilter
    } cases[] = {
        {"*.txt", false, "%_txt"},    {"  a?b_c  ", false, "a_b\\_c"}, {"a|b", false, nullptr},
        {"[ab].txt", false, nullptr}, {"ёлка*", false, nullptr},       {"*.txt", true, nullptr},
        {"x+y", false, nullptr},      {"   ", false, nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<std::string> like = NamePrefilter(c.text, c.regex);
        if (c.like)
            EXPECT_EQ(like.value_or("<none>"), c.like) << c.text;
        else
            EXPECT_FALSE(like) << c.text;
    }
}

} // namespace
} // namespace ormix::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

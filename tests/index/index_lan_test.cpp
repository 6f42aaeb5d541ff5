// The index against a real smbd through ormix-cli and the SMB helper: a
// network search that records gives the same answers from the index as on
// the network (patterns, bands, exclusions); `index update` follows files
// added, renamed and removed; kill -9 during `index update` leaves the
// previous rows whole. Without namespaces or samba this test skips, and
// under CI=true it fails instead.
#include "index/indexstore.h"
#include "search/smbd_share.h"

#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace ormix::testing {
namespace {

namespace fs = std::filesystem;

SmbdShare* g_smbd = nullptr;
std::string g_skip, g_docs, g_big, g_db;

bool inCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

std::string bin(const char* name) {
    const char* dir = std::getenv("ORMIX_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

void writeFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// Sorted stdout lines of ormix-cli; the exit code in *code.
std::vector<std::string> cli(std::vector<std::string> args, int* code = nullptr) {
    args.insert(args.begin(), bin("ormix-cli"));
    std::string out;
    const int rc = runCommand(args, &out);
    if (code)
        *code = rc;
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string docs() {
    return SmbdShare::share("Docs") + "<>SEARCHTEST";
}
std::string big() {
    return SmbdShare::share("Big") + "<>SEARCHTEST";
}

class IndexLan : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_skip = SmbdShare::unavailableReason();
        if (!g_skip.empty())
            return;
        g_smbd = new SmbdShare;
        g_docs = g_smbd->folder("docs");
        g_big = g_smbd->folder("big");
        g_db = g_smbd->root() + "/index.sqlite";
        writeFile(g_docs + "/readme.txt", "hello\n");
        writeFile(g_docs + "/Отчёт за 2023.TXT", "2023");
        writeFile(g_docs + "/Документы/ёлка.txt", "ёлка");
        writeFile(g_docs + "/match.txt/inner.dat", "in");
        writeFile(g_docs + "/k1.bin", std::string(1024, 'k'));
        writeFile(g_docs + "/k2.bin", std::string(2048, 'k'));
        writeFile(g_docs + "/a b; rm -rf ~ 'x'.txt", "1");
        { std::ofstream(g_docs + "/big.iso"); }
        fs::resize_file(g_docs + "/big.iso", 3LL << 30);
        for (int d = 0; d < 20; ++d)
            for (int f = 0; f < 500; ++f)
                writeFile(g_big + "/d" + std::to_string(d) + "/a" + std::to_string(f) + ".dat", "");
        std::string error;
        if (!g_smbd->start({{"Docs", g_docs}, {"Big", g_big}}, error))
            g_skip = error;
    }
    static void TearDownTestSuite() {
        delete g_smbd;
        g_smbd = nullptr;
    }
    void SetUp() override {
        if (g_skip.empty())
            return;
        if (inCi())
            FAIL() << g_skip;
        GTEST_SKIP() << g_skip;
    }
};

TEST_F(IndexLan, IndexAnswersAsTheNetworkDoes) {
    int rc = -1;
    cli({"search", "--record", "--db", g_db, "nothing-matches", docs(), big()}, &rc);
    ASSERT_EQ(rc, 0);
    struct Case {
        std::vector<std::string> options;
        const char* pattern;
    } cases[] = {
        {{}, "*.txt"},
        {{}, "*"},
        {{"--regex"}, "\\\\match\\.txt\\\\"},
        {{"--regex"}, "(?i)отчёт|ЁЛКА"},
        {{"--from", "1", "--to", "2"}, "*.bin"},
        {{"--from", "1"}, "*"},
        {{"--exclude", "big"}, "*"},
        {{}, "a?.dat"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> net{"search"}, idx{"search", "--index", "--db", g_db};
        net.insert(net.end(), c.options.begin(), c.options.end());
        idx.insert(idx.end(), c.options.begin(), c.options.end());
        for (auto* v : {&net, &idx}) {
            v->push_back(c.pattern);
            v->push_back(docs());
            v->push_back(big());
        }
        const std::vector<std::string> fromNet = cli(net);
        EXPECT_FALSE(fromNet.empty()) << c.pattern;
        EXPECT_EQ(cli(idx), fromNet) << c.pattern;
    }

    // The walk brings each file's modification time along.
    struct stat st {};
    ASSERT_EQ(::stat((g_docs + "/k2.bin").c_str(), &st), 0);
    IndexStore store;
    std::string error;
    ASSERT_TRUE(store.open(g_db, error)) << error;
    QSqlQuery q(store.database());
    ASSERT_TRUE(q.exec("SELECT mtime FROM ormix_entries WHERE name = 'k2.bin'") && q.next());
    EXPECT_EQ(q.value(0).toLongLong(), int64_t(st.st_mtime));
}

TEST_F(IndexLan, UpdateFollowsAddedRenamedAndRemovedFiles) {
    const std::string db = g_smbd->root() + "/update.sqlite";
    int rc = -1;
    EXPECT_EQ(cli({"index", "update", "--db", db, docs()}, &rc),
              std::vector<std::string>{SmbdShare::share("Docs") + "\tok\t10"});
    ASSERT_EQ(rc, 0);
    writeFile(g_docs + "/added.txt", "new");
    fs::rename(g_docs + "/readme.txt", g_docs + "/renamed.txt");
    fs::remove(g_docs + "/k1.bin");
    cli({"index", "update", "--db", db, "--threads", "2"}, &rc); // every share the index knows
    ASSERT_EQ(rc, 0);
    const std::vector<std::string> all = cli({"search", "--index", "--db", db, "*"});
    EXPECT_EQ(all, cli({"search", "*", docs()}));
    const std::string dir = SmbdShare::share("Docs") + "\\";
    EXPECT_TRUE(std::count(all.begin(), all.end(), "SEARCHTEST\t" + dir + "added.txt\t3"));
    EXPECT_TRUE(std::count(all.begin(), all.end(), "SEARCHTEST\t" + dir + "renamed.txt\t6"));
    EXPECT_FALSE(std::count(all.begin(), all.end(), "SEARCHTEST\t" + dir + "readme.txt\t6"));
    EXPECT_FALSE(std::count(all.begin(), all.end(), "SEARCHTEST\t" + dir + "k1.bin\t1024"));
    // Put the share back as the other tests know it.
    fs::rename(g_docs + "/renamed.txt", g_docs + "/readme.txt");
    fs::remove(g_docs + "/added.txt");
    writeFile(g_docs + "/k1.bin", std::string(1024, 'k'));
}

TEST_F(IndexLan, KillDuringUpdateLeavesThePreviousRows) {
    const std::string db = g_smbd->root() + "/kill.sqlite";
    int rc = -1;
    cli({"index", "update", "--db", db, big()}, &rc);
    ASSERT_EQ(rc, 0);
    const size_t before = cli({"search", "--index", "--db", db, "*"}).size();
    ASSERT_EQ(before, 10000u);
    for (int d = 0; d < 20; ++d)
        for (int f = 0; f < 250; ++f)
            writeFile(g_big + "/d" + std::to_string(d) + "/b" + std::to_string(f) + ".dat", "");

    // Kills at spread moments of the walk and of the write that follows it:
    // every one must leave the old rows or the new ones, never a mixture.
    for (int delayMs : {150, 400, 700, 1000, 1300, 1600, 2000, 2500}) {
        const pid_t pid = spawnCommand({bin("ormix-cli"), "index", "update", "--db", db, big()});
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const size_t now = cli({"search", "--index", "--db", db, "*"}, &rc).size();
        ASSERT_EQ(rc, 0) << delayMs;
        EXPECT_TRUE(now == before || now == 15000u) << delayMs << " ms: " << now << " rows";
    }
    cli({"index", "update", "--db", db, big()}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(cli({"search", "--index", "--db", db, "*"}).size(), 15000u);
}

} // namespace
} // namespace ormix::testing

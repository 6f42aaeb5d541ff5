// The search against a real smbd through the SMB helper: the walk job (names,
// folders, sizes beyond 2 GiB, unreadable folders, a stop in a deep walk) and
// the copy job (free names on collision, progress, cancel, a missing file).
#include "search/smbjobs.h"
#include "search_harness.h"
#include "shares/smbpool.h"
#include "smbd_share.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace ormix::testing {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

SmbdShare* g_smbd = nullptr;
std::string g_skip;
std::string g_files, g_deep;

void writeFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

void makeFiles(const std::string& root) {
    writeFile(root + "/readme.txt", "hello\n");
    writeFile(root + "/.x", "abcd");
    writeFile(root + "/a b; rm -rf ~ 'x'.txt", "1");
    writeFile(root + "/Отчёт за 2023.TXT", "2023");
    writeFile(root + "/Документы/ёлка.txt", "ёлка");
    writeFile(root + "/match.txt/inner.dat", "in");
    std::string path = root;
    for (int i = 0; i < 10; ++i)
        path += "/d" + std::to_string(i);
    writeFile(path + "/leaf.txt", "leaf");
    writeFile(root + "/k1.bin", std::string(1024, 'k'));
    writeFile(root + "/k2.bin", std::string(2048, 'k'));
    writeFile(root + "/k3.bin", std::string(3072, 'k'));
    // 3 GiB without the disk space: sizes must stay 64-bit end to end.
    { std::ofstream(root + "/big.iso"); }
    fs::resize_file(root + "/big.iso", 3LL << 30);
    // The guest account cannot list this folder: skipped, nothing counted.
    writeFile(root + "/locked/secret.txt", "no");
    ::chmod((root + "/locked").c_str(), 0700);
}
constexpr int64_t kFiles = 11;

class SmbSearch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_skip = SmbdShare::unavailableReason();
        if (!g_skip.empty())
            return;
        g_smbd = new SmbdShare;
        g_files = g_smbd->folder("files");
        g_deep = g_smbd->folder("deep");
        makeFiles(g_files);
        std::string path = g_deep;
        for (int i = 0; i < 60; ++i) {
            writeFile(path + "/f" + std::to_string(i) + ".txt", "x");
            path += "/level" + std::to_string(i);
        }
        std::string error;
        if (!g_smbd->start({{"Files", g_files}, {"Deep", g_deep}}, error))
            g_skip = error;
    }
    static void TearDownTestSuite() {
        delete g_smbd;
        g_smbd = nullptr;
    }
    void SetUp() override {
        if (!g_skip.empty())
            GTEST_SKIP() << g_skip;
        SmbPoolOptions o;
        if (const char* bin = std::getenv("ORMIX_BIN_DIR"))
            o.helperPath = std::string(bin) + "/ormix-smb";
        pool = std::make_unique<SmbHelperPool>(o);
        walker = std::make_unique<HelperShareWalker>(*pool);
    }

    // Runs one search over one share through the real helper.
    RecordingOwner run(const SearchQuery& q, const std::string& share,
                       std::function<void(SearchHarness&)> setup = {}) {
        SearchHarness h;
        h.runner.SetWalker(*walker);
        if (setup)
            setup(h);
        h.start(q, {share + "<>SEARCHTEST"}, 6);
        EXPECT_TRUE(h.finish());
        return h.owner;
    }

    std::unique_ptr<SmbHelperPool> pool;
    std::unique_ptr<HelperShareWalker> walker;
};

TEST_F(SmbSearch, WalksEveryFileOnceAndNoFolder) {
    const RecordingOwner o = run(makeQuery("*", false), SmbdShare::share("Files"));
    V all{".x",
          "a b; rm -rf ~ 'x'.txt",
          "big.iso",
          "inner.dat",
          "k1.bin",
          "k2.bin",
          "k3.bin",
          "leaf.txt",
          "readme.txt",
          "ёлка.txt",
          "Отчёт за 2023.TXT"};
    std::sort(all.begin(), all.end());
    EXPECT_EQ(o.names(), all);
    EXPECT_EQ(o.counts, std::vector<int64_t>{kFiles});
    for (const Found& f : o.found) {
        EXPECT_EQ(f.host, "SEARCHTEST");
        if (f.name == "ёлка.txt") {
            EXPECT_EQ(f.folder, "\\\\127.0.0.31\\Files\\Документы\\");
        } else if (f.name == "leaf.txt") {
            EXPECT_EQ(f.folder, "\\\\127.0.0.31\\Files\\d0\\d1\\d2\\d3\\d4\\d5\\d6\\d7\\d8\\d9\\");
        } else if (f.name == "big.iso") {
            EXPECT_EQ(f.size, 3LL << 30);
        } else if (f.name == "k2.bin") {
            EXPECT_EQ(f.size, 2048);
        }
    }
}

TEST_F(SmbSearch, StreamEndsWithTheRootsEndMark) {
    // Every Folder is closed by its FolderEnd, the last record closes the
    // root, and nothing follows it; the search notes nothing.
    const std::unique_ptr<ShareWalk> walk = walker->Open(SmbdShare::share("Deep") + "\\");
    ASSERT_TRUE(walk);
    WalkRecord rec;
    int depth = 0, maxDepth = 0;
    bool rootClosed = false;
    while (walk->Next(rec)) {
        ASSERT_FALSE(rootClosed) << "a record after the root's end: " << rec.name;
        if (rec.kind == WalkRecord::Folder)
            maxDepth = std::max(maxDepth, ++depth);
        else if (rec.kind == WalkRecord::FolderEnd && depth-- == 0)
            rootClosed = true;
    }
    EXPECT_TRUE(rootClosed);
    EXPECT_EQ(maxDepth, 59); // level0 .. level58
    EXPECT_FALSE(walk->RootUnavailable());
    EXPECT_TRUE(run(makeQuery("*", false), SmbdShare::share("Deep")).notes.empty());
}

TEST_F(SmbSearch, PatternsAndBands) {
    struct Case {
        const char* text;
        bool regex;
        int64_t lo, hi;
        V names;
    } cases[] = {
        {"*.txt",
         false,
         0,
         0,
         {"a b; rm -rf ~ 'x'.txt", "leaf.txt", "readme.txt", "ёлка.txt", "Отчёт за 2023.TXT"}},
        {"?x", false, 0, 0, {".x"}},
        {"\\\\match\\.txt\\\\", true, 0, 0, {"inner.dat"}},
        {"^\\\\\\\\127\\.0\\.0\\.31\\\\Files\\\\[^\\\\]*\\.txt$",
         true,
         0,
         0,
         {"a b; rm -rf ~ 'x'.txt", "readme.txt"}},
        {"(?i)отчёт|ЁЛКА", true, 0, 0, {"ёлка.txt", "Отчёт за 2023.TXT"}},
        {"*.bin", false, 1024, 2048, {"k1.bin", "k2.bin"}},
        {"*", false, 1024, 0, {"big.iso", "k1.bin", "k2.bin", "k3.bin"}},
    };
    for (const Case& c : cases) {
        const RecordingOwner o = run(makeQuery(c.text, c.regex, c.lo, c.hi), SmbdShare::share("Files"));
        V expected = c.names;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(o.names(), expected) << c.text;
        EXPECT_EQ(o.counts, std::vector<int64_t>{kFiles}) << c.text;
    }
}

// Passes the walk of another walker through; when the worker asks for the
// record after file number `at`, sets the stop flag and ends the walk there.
// (A stop while a file's record is handed over would also stop that file's match.)
class StopAtRecord : public ShareWalker {
public:
    StopAtRecord(ShareWalker& inner, std::atomic<bool>& stop, long at)
        : inner_(inner), stop_(stop), at_(at) {}
    std::unique_ptr<ShareWalk> Open(const std::string& rootPath) override {
        struct Walk : ShareWalk {
            std::unique_ptr<ShareWalk> inner;
            StopAtRecord* owner;
            long read = 0;
            bool Next(WalkRecord& rec) override {
                if (read >= owner->at_) {
                    owner->stop_ = true;
                    return false;
                }
                if (!inner->Next(rec))
                    return false;
                if (rec.kind == WalkRecord::File)
                    ++read;
                return true;
            }
        };
        auto walk = std::make_unique<Walk>();
        walk->inner = inner_.Open(rootPath);
        walk->owner = this;
        if (!walk->inner)
            return nullptr;
        return walk;
    }

private:
    ShareWalker& inner_;
    std::atomic<bool>& stop_;
    long at_;
};

TEST_F(SmbSearch, StopInADeepWalkThenTheHelperServesAgain) {
    std::unique_ptr<StopAtRecord> stopper;
    const RecordingOwner stopped =
        run(makeQuery("*.txt", false), SmbdShare::share("Deep"), [&](SearchHarness& h) {
            stopper = std::make_unique<StopAtRecord>(*walker, h.stop, 3);
            h.runner.SetWalker(*stopper);
        });
    EXPECT_EQ(stopped.found.size(), 3u);
    EXPECT_EQ(stopped.counts, std::vector<int64_t>{3});

    const RecordingOwner full = run(makeQuery("*.txt", false), SmbdShare::share("Deep"));
    EXPECT_EQ(full.found.size(), 60u);
    EXPECT_EQ(full.counts, std::vector<int64_t>{60});
    EXPECT_LE(pool->helpersStarted(), 2);
}

TEST_F(SmbSearch, UnknownShareIsAnEmptySearch) {
    const RecordingOwner o = run(makeQuery("*", false), SmbdShare::share("NoSuchShare"));
    EXPECT_TRUE(o.found.empty());
    EXPECT_EQ(o.counts, std::vector<int64_t>{0});
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(SmbSearch, CopyTakesTheNextFreeName) {
    const std::string dir = g_smbd->folder("local-copies");
    writeFile(dir + "/readme.txt", "mine");
    HelperFileCopier copier(*pool);
    const std::string src = SmbdShare::share("Files") + "\\readme.txt";
    uint64_t lastTotal = 0;
    for (const char* expected : {"readme (2).txt", "readme (3).txt"}) {
        const CopyResult r = copier.Copy(src, dir + "/readme.txt", [&](uint64_t, uint64_t total) {
            lastTotal = total;
            return true;
        });
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.finalPath, dir + "/" + expected);
        EXPECT_EQ(readAll(dir + "/" + expected), "hello\n");
    }
    EXPECT_EQ(readAll(dir + "/readme.txt"), "mine"); // never replaced
    EXPECT_EQ(lastTotal, 6u);

    // A name without an extension, and one in a Cyrillic folder.
    writeFile(dir + "/ёлка", "x");
    const CopyResult r = copier.Copy(SmbdShare::share("Files") + "\\Документы\\ёлка.txt", dir + "/ёлка", {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.finalPath, dir + "/ёлка (2)");
    EXPECT_EQ(readAll(r.finalPath), "ёлка");

    // A name that starts with its only dot has no extension.
    writeFile(dir + "/.bashrc", "x");
    const CopyResult hidden = copier.Copy(src, dir + "/.bashrc", {});
    EXPECT_EQ(hidden.status, 0);
    EXPECT_EQ(hidden.finalPath, dir + "/.bashrc (2)");
}

TEST_F(SmbSearch, CopyFailuresLeaveNothingBehind) {
    const std::string dir = g_smbd->folder("local-failures");
    HelperFileCopier copier(*pool);

    const CopyResult missing =
        copier.Copy(SmbdShare::share("Files") + "\\nothing.txt", dir + "/nothing.txt", {});
    EXPECT_EQ(missing.status, 53);
    EXPECT_FALSE(fs::exists(dir + "/nothing.txt"));

    // Cancelled at the first progress report of a 3 GiB file.
    const CopyResult cancelled = copier.Copy(SmbdShare::share("Files") + "\\big.iso", dir + "/big.iso",
                                             [](uint64_t, uint64_t) { return false; });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_TRUE(fs::is_empty(dir));

    // The helper is still good for the next job.
    const CopyResult ok = copier.Copy(SmbdShare::share("Files") + "\\k1.bin", dir + "/k1.bin", {});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(fs::file_size(dir + "/k1.bin"), 1024u);
}

} // namespace
} // namespace ormix::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

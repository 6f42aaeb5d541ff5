// The search workers over an in-memory share: what they walk, count, match and
// report, how they stop, and the pool's launch rule.
#include "search_harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace ormix::testing {
namespace {

using V = std::vector<std::string>;
constexpr const char* kRoot = "\\\\127.0.0.1\\s\\";

// 14 files; the folder "match.txt" matches '*.txt' but is never reported.
std::vector<FakeNode> sampleTree() {
    return {
        FakeNode::file("report.txt", 100),
        FakeNode::file("REPORT.TXT", 1024),
        FakeNode::file("reportxtxt", 5),
        FakeNode::file("report.txt.bak", 7),
        FakeNode::file("abc", 0),
        FakeNode::file("ac", 1),
        FakeNode::file("...", 3),
        FakeNode::file(".x", 4),
        FakeNode::file("Отчёт.doc", 2048),
        FakeNode::file("ОТЧЁТ.DOC", 2049),
        FakeNode::dir("match.txt",
                      {FakeNode::file("inner.dat", 10),
                       FakeNode::dir("deep", {FakeNode::dir("sub", {FakeNode::file("abc", 1025)})})}),
        FakeNode::file("huge.iso", 5LL << 30),
        FakeNode::file("big.bin", (2LL << 30) + 1),
    };
}
constexpr int64_t kSampleFiles = 14;

// The text form of a share entry, as the search history shows it and the
// command line and the index take it, and back.
TEST(ScannedShare, TextFormAndParts) {
    struct Case {
        const char* text;
        ScannedShare entry;
        const char* address;
        const char* share;
    };
    const Case cases[] = {
        {"\\\\10.0.0.5\\share<>HOST", {"\\\\10.0.0.5\\share", "HOST"}, "10.0.0.5", "share"},
        {"\\\\10.0.0.5\\Архив<>", {"\\\\10.0.0.5\\Архив", ""}, "10.0.0.5", "Архив"},
        {"\\\\10.0.0.5\\s<>A<>B",
         {"\\\\10.0.0.5\\s", "A"},
         "10.0.0.5",
         "s"},                                                         // the name ends at the next "<>"
        {"\\\\10.0.0.5\\s", {"\\\\10.0.0.5\\s", ""}, "10.0.0.5", "s"}, // no name
        {"stale<>OLD", {"stale", "OLD"}, "", ""},                      // no share path
        {"\\\\\\s<>X", {"\\\\\\s", "X"}, "", ""},                      // no address
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ScannedShare entry = ParseScannedShare(c.text);
        EXPECT_EQ(entry, c.entry);
        EXPECT_EQ(entry.address(), c.address);
        EXPECT_EQ(entry.shareName(), c.share);
    }
    EXPECT_EQ(ScannedShareText({"\\\\10.0.0.5\\share", "HOST"}), "\\\\10.0.0.5\\share<>HOST");
    EXPECT_EQ(ScannedShareText({"\\\\10.0.0.5\\share", ""}), "\\\\10.0.0.5\\share<>");
}

TEST(SearchWorker, MatchesNamesPathsAndSizes) {
    struct Case {
        const char* text;
        bool regex;
        int64_t lo, hi;
        V names;
    } cases[] = {
        // Plain text: whole name, case ignored, "." keeps its expression meaning.
        {"*.txt", false, 0, 0, {"REPORT.TXT", "report.txt", "reportxtxt"}},
        {"a?c", false, 0, 0, {"abc", "abc"}},
        {"  abc  ", false, 0, 0, {"abc", "abc"}},
        {"...", false, 0, 0, {"...", "abc", "abc"}},
        {".x", false, 0, 0, {".x"}},
        {"отчёт.doc", false, 0, 0, {"ОТЧЁТ.DOC", "Отчёт.doc"}},
        // Expressions see the full path, leading backslashes included.
        {"\\.txt$", true, 0, 0, {"report.txt"}},
        {"(?i)\\.txt$", true, 0, 0, {"REPORT.TXT", "report.txt"}},
        {"^\\\\\\\\127\\.0\\.0\\.1\\\\s\\\\match\\.txt\\\\[^\\\\]+$", true, 0, 0, {"inner.dat"}},
        {"\\\\deep\\\\", true, 0, 0, {"abc"}},
        {"(?i)отчёт", true, 0, 0, {"ОТЧЁТ.DOC", "Отчёт.doc"}},
        {"отчёт", true, 0, 0, {}},
        // The band: both bounds inclusive; 0 means no bound; 64-bit sizes.
        {"*", false, 1024, 2048, {"REPORT.TXT", "abc", "Отчёт.doc"}},
        {"*", false, 1024, 0, {"REPORT.TXT", "abc", "big.bin", "huge.iso", "ОТЧЁТ.DOC", "Отчёт.doc"}},
        {"*", false, 0, 1, {"abc", "ac"}},
        {"*", false, 4LL << 30, 6LL << 30, {"huge.iso"}},
    };
    for (const Case& c : cases) {
        SearchHarness h;
        h.walker.addShare(kRoot, sampleTree());
        h.search(makeQuery(c.text, c.regex, c.lo, c.hi));
        V expected = c.names;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(h.owner.names(), expected) << c.text;
        // Every file is counted, match or not; folders never.
        EXPECT_EQ(h.owner.counts, std::vector<int64_t>{kSampleFiles}) << c.text;
        EXPECT_TRUE(h.owner.onMainThread);
    }
}

TEST(SearchWorker, ReportsHostFolderSizeAndName) {
    SearchHarness h;
    h.walker.addShare(kRoot, sampleTree());
    h.search(makeQuery("a?c", false));
    ASSERT_EQ(h.owner.found.size(), 2u);
    const Found& deep = h.owner.found[1];
    EXPECT_EQ(deep.host, "HOST");
    EXPECT_EQ(deep.folder, "\\\\127.0.0.1\\s\\match.txt\\deep\\sub\\");
    EXPECT_EQ(deep.name, "abc");
    EXPECT_EQ(deep.size, 1025);
    EXPECT_EQ(h.owner.found[0].folder, kRoot);
}

TEST(SearchWorker, SkipsDotEntriesAndUnreadableFolders) {
    SearchHarness h;
    FakeNode locked = FakeNode::dir("locked", {FakeNode::file("hidden.txt", 1)});
    locked.unreadable = true;
    h.walker.addShare(kRoot, {FakeNode::file(".", 0), FakeNode::file("..", 0), locked,
                              FakeNode::file("a.txt", 1), FakeNode::dir("empty")});
    h.search(makeQuery("*", false));
    EXPECT_EQ(h.owner.names(), V{"a.txt"});
    EXPECT_EQ(h.owner.counts, std::vector<int64_t>{1});
}

TEST(SearchWorker, EmptyOrUnreachableShareCountsZero) {
    SearchHarness h;
    h.search(makeQuery("*", false), "\\\\127.0.0.1\\nothing<>HOST");
    EXPECT_TRUE(h.owner.found.empty());
    EXPECT_EQ(h.owner.counts, std::vector<int64_t>{0});
}

TEST(SearchWorker, CompileErrorEndsEveryWorkerWithoutItsCount) {
    SearchHarness h;
    h.walker.addShare(kRoot, sampleTree());
    h.walker.addShare("\\\\127.0.0.2\\t\\", sampleTree());
    h.start(makeQuery("(", true), {"\\\\127.0.0.1\\s<>A", "\\\\127.0.0.2\\t<>B"}, 6);
    ASSERT_TRUE(h.finish());
    EXPECT_EQ(h.finishedCalls, 1);
    EXPECT_TRUE(h.owner.found.empty());
    EXPECT_TRUE(h.owner.counts.empty());
    // Each worker stopped at its first file.
    EXPECT_LE(h.walker.recordsRead.load(), 2);
}

TEST(SearchWorker, StopDuringADeepWalkEndsEveryLevel) {
    // 200 levels, two files each.
    FakeNode level = FakeNode::file("bottom.txt", 1);
    std::vector<FakeNode> kids{level};
    for (int i = 199; i >= 0; --i) {
        kids = {FakeNode::file("f" + std::to_string(i) + ".txt", 1),
                FakeNode::dir("d" + std::to_string(i), std::move(kids))};
    }
    SearchHarness h;
    h.walker.addShare(kRoot, kids);
    // The flag is set as the worker reads the folder after the third file
    // (records f0.txt, d0, f1.txt, d1, f2.txt, d2), before it looks at its next
    // entry. (Set during a file's record, it would also stop that file's match.)
    h.walker.onRecord = [&h](long read) {
        if (read == 6)
            h.stop = true;
    };
    h.search(makeQuery("*.txt", false));
    EXPECT_EQ(h.owner.found.size(), 3u);
    ASSERT_EQ(h.owner.counts.size(), 1u); // the count so far is still reported
    EXPECT_EQ(h.owner.counts[0], 3);
    EXPECT_EQ(h.finishedCalls, 1);
}

TEST(SearchWorker, VeryDeepTreeStopsAtTheDepthLimit) {
    // 30,000 nested folders "d", each holding "fN.txt" (N its depth) before
    // its subfolder, then "top.txt" in the root. Folders below depth 256 are
    // left out, once noted; the walk goes on after them.
    constexpr int kDepth = 30000;
    std::vector<WalkRecord> stream;
    for (int i = 1; i <= kDepth; ++i) {
        stream.push_back({WalkRecord::Folder, "d", 0});
        stream.push_back({WalkRecord::File, "f" + std::to_string(i) + ".txt", 1});
    }
    for (int i = 0; i < kDepth; ++i)
        stream.push_back({WalkRecord::FolderEnd, {}, 0});
    stream.push_back({WalkRecord::File, "top.txt", 1});
    stream.push_back({WalkRecord::FolderEnd, {}, 0});

    SearchHarness h;
    h.walker.addStream(kRoot, std::move(stream));
    h.search(makeQuery("*.txt", false));
    ASSERT_EQ(h.owner.found.size(), size_t(kMaxWalkDepth) + 1);
    EXPECT_EQ(h.owner.found[kMaxWalkDepth - 1].name, "f256.txt");
    EXPECT_EQ(h.owner.found.back().name, "top.txt");
    EXPECT_EQ(h.owner.found.back().folder, kRoot);
    EXPECT_EQ(h.owner.counts, std::vector<int64_t>{kMaxWalkDepth + 1});
    ASSERT_EQ(h.owner.notes.size(), 1u);
    EXPECT_EQ(h.owner.notes[0].kind, SearchNote::TooDeep);
    std::string tooDeep = kRoot;
    for (int i = 0; i <= kMaxWalkDepth; ++i)
        tooDeep += "d\\";
    EXPECT_EQ(h.owner.notes[0].path, tooDeep);
}

TEST(SearchWorker, StreamWithoutTheRootsEndIsIncomplete) {
    // sampleTree() streams 20 records and the root's end mark.
    struct Case {
        const char* what;
        size_t keep; // records the stream delivers; 21 is all of it
        size_t found;
        bool incomplete;
    } cases[] = {
        {"whole stream", 21, 2, false},
        {"root's end mark missing", 20, 2, true},
        {"broken off mid-folder", 12, 1, true},
        {"broken off before any record", 0, 0, true},
    };
    for (const Case& c : cases) {
        SearchHarness h;
        h.walker.addBrokenShare(kRoot, sampleTree(), c.keep);
        h.search(makeQuery("a?c", false));
        EXPECT_EQ(h.owner.found.size(), c.found) << c.what;
        EXPECT_EQ(h.owner.counts.size(), 1u) << c.what; // what was examined still counts
        if (c.incomplete) {
            ASSERT_EQ(h.owner.notes.size(), 1u) << c.what;
            EXPECT_EQ(h.owner.notes[0].kind, SearchNote::Incomplete);
            EXPECT_EQ(h.owner.notes[0].host, "HOST");
            EXPECT_EQ(h.owner.notes[0].path, kRoot);
        } else {
            EXPECT_TRUE(h.owner.notes.empty()) << c.what;
        }
    }
    // A share that cannot be listed at all reads as empty, without a note.
    SearchHarness h;
    h.search(makeQuery("*", false), "\\\\127.0.0.1\\nothing<>HOST");
    EXPECT_TRUE(h.owner.notes.empty());
}

TEST(SearchWorker, NameThatTakesTooLongIsSkippedOnce) {
    // (a|aa)*b takes exponential time on a run of a's followed by "cb".
    const std::string hard = std::string(60, 'a') + "cb";
    SearchHarness h;
    h.walker.addShare(kRoot, {FakeNode::file("ab", 1), FakeNode::file(hard, 1), FakeNode::file("aab", 1)});
    h.search(makeQuery("(a|aa)*b", true));
    EXPECT_EQ(h.owner.names(), (V{"aab", "ab"}));
    EXPECT_EQ(h.owner.counts, std::vector<int64_t>{3});
    ASSERT_EQ(h.owner.notes.size(), 1u);
    EXPECT_EQ(h.owner.notes[0].kind, SearchNote::StepLimit);
    EXPECT_EQ(h.owner.notes[0].path, kRoot + hard);
}

TEST(SearchWorker, StopInterruptsALongMatch) {
    // The stop comes while the worker holds the second name, which would take
    // the whole step limit: the match ends at once, nothing is noted, and the
    // files examined so far are counted.
    const std::string hard = std::string(60, 'a') + "cb";
    SearchHarness h;
    h.walker.addShare(kRoot, {FakeNode::file("aab", 1), FakeNode::file(hard, 1), FakeNode::file("ab", 1)});
    h.walker.onNext = [&h, &hard](const WalkRecord& rec) {
        if (rec.name == hard)
            h.stop = true;
    };
    h.search(makeQuery("(a|aa)*b", true));
    EXPECT_EQ(h.owner.names(), V{"aab"});
    EXPECT_EQ(h.owner.counts, std::vector<int64_t>{2});
    EXPECT_TRUE(h.owner.notes.empty());
}

std::vector<std::string> shares(int n) {
    std::vector<std::string> v;
    for (int i = 1; i <= n; ++i)
        v.push_back("\\\\127.0.0." + std::to_string(i) + "\\s<>H" + std::to_string(i));
    return v;
}

void addShares(FakeWalker& w, int n) {
    for (int i = 1; i <= n; ++i)
        w.addShare("\\\\127.0.0." + std::to_string(i) + "\\s\\", {FakeNode::file("x.txt", 1)});
}

TEST(SearchPool, LaunchRuleStartsHalfThenTopsUp) {
    // One call starts floor((M - A) / 2) + 1 workers.
    struct Case {
        int max, atStart;
    } cases[] = {{6, 4}, {4, 3}, {2, 2}, {1, 1}, {0, 1}, {-1, 0}};
    for (const Case& c : cases) {
        SearchHarness h;
        addShares(h.walker, 10);
        h.walker.closeGate();
        h.start(makeQuery("*", false), shares(10), c.max);
        EXPECT_EQ(h.runner.ActiveSearchWorkers, c.atStart) << c.max;
        EXPECT_EQ(int(h.runner.PendingShares.size()), 10 - c.atStart) << c.max;
        h.walker.openGate();
        ASSERT_TRUE(h.finish());
        EXPECT_EQ(h.finishedCalls, 1);
        if (c.max >= 0) {
            // Topped up as workers end; never more than max(M, 1) at once.
            EXPECT_EQ(h.owner.found.size(), 10u) << c.max;
            EXPECT_LE(h.walker.maxRunning.load(), std::max(c.max, 1)) << c.max;
            EXPECT_EQ(h.started, shares(10));
        } else {
            // Nothing started: idle again at once, without an end notification.
            EXPECT_TRUE(h.owner.found.empty());
            EXPECT_TRUE(h.started.empty());
        }
    }
}

TEST(SearchPool, OneWorkerSearchesSharesOneAfterAnother) {
    SearchHarness h;
    addShares(h.walker, 5);
    h.start(makeQuery("*", false), shares(5), 1);
    ASSERT_TRUE(h.finish());
    EXPECT_EQ(h.walker.maxRunning.load(), 1);
    EXPECT_EQ(h.finishedCalls, 1);
    ASSERT_EQ(h.owner.found.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(h.owner.found[i].host, "H" + std::to_string(i + 1));
}

TEST(SearchPool, NoSharesFinishesAtOnce) {
    SearchHarness h;
    h.start(makeQuery("*", false), {}, 6);
    EXPECT_EQ(h.finishedCalls, 1); // before Start returned
    EXPECT_FALSE(h.runner.Running());
}

TEST(SearchPool, StopDropsPendingShares) {
    SearchHarness h;
    addShares(h.walker, 10);
    h.walker.closeGate();
    h.start(makeQuery("*", false), shares(10), 1);
    h.stop = true;
    h.walker.openGate();
    ASSERT_TRUE(h.finish());
    EXPECT_EQ(h.finishedCalls, 1);
    EXPECT_EQ(h.walker.opened.load(), 1);
    EXPECT_TRUE(h.runner.PendingShares.empty());
    EXPECT_EQ(h.owner.counts, std::vector<int64_t>{0});
}

// The worker hands its finds over without waiting for the main thread: it
// walks to the end while the main thread runs no events, and the files then
// arrive in the order found, the count last.
TEST(SearchWorker, PostsFoundFilesWithoutWaitingForTheMainThread) {
    std::vector<FakeNode> files;
    for (int i = 0; i < 600; ++i) // more than two batches
        files.push_back(FakeNode::file("f" + std::to_string(i) + ".txt", 1));
    SearchHarness h;
    h.walker.addShare(kRoot, files);
    h.start(makeQuery("*.txt", false), {"\\\\127.0.0.1\\s<>HOST"}, 6);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (h.walker.recordsRead.load() < 601 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(h.walker.recordsRead.load(), 601); // every file and the end mark
    EXPECT_TRUE(h.owner.found.empty());
    ASSERT_TRUE(h.finish());
    ASSERT_EQ(h.owner.found.size(), 600u);
    for (size_t i = 0; i < h.owner.found.size(); ++i)
        ASSERT_EQ(h.owner.found[i].name, "f" + std::to_string(i) + ".txt");
    EXPECT_EQ(h.owner.counts, std::vector<int64_t>{600});
    EXPECT_TRUE(h.owner.onMainThread);
}

} // namespace
} // namespace ormix::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

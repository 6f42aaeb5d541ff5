// The cases both index back ends must pass: a tree recorded from a search
// walk, then searched from the index and compared with the network search of
// the same tree (same pattern, band and exclusions); refresh after changes;
// walks that fail or are stopped. Used by indexstore_test.cpp (SQLite) and
// postgres_test.cpp (a real PostgreSQL server).
#pragma once

#include "index/indexsearch.h"
#include "index/recording.h"
#include "index/refresh.h"
#include "search/search_harness.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace ormix::testing {

using Hit = std::tuple<std::string, std::string, int64_t>; // host, full path, size
using HitSet = std::multiset<Hit>;

inline HitSet networkHits(FakeWalker& walker, const SearchQuery& q, const std::vector<ScannedShare>& shares) {
    SearchHarness h;
    h.runner.SetWalker(walker);
    h.startShares(q, shares, 6);
    EXPECT_TRUE(h.finish());
    HitSet out;
    for (const Found& f : h.owner.found)
        out.insert({f.host, f.folder + f.name, f.size});
    return out;
}

struct IndexResult {
    HitSet hits;
    IndexSearchSummary summary;
};

inline IndexResult indexHits(IndexStore& store, const IndexQuery& q, const std::string& text,
                             IndexCache* cache = nullptr) {
    IndexResult r;
    std::atomic<bool> stop{false};
    std::string error;
    EXPECT_TRUE(SearchIndex(
        store, q, text, stop,
        [&](std::vector<IndexHit>&& hits) {
            for (const IndexHit& h : hits)
                r.hits.insert({h.hostName, h.folder + h.name, h.size});
        },
        r.summary, error, cache))
        << error;
    return r;
}

inline std::vector<FakeNode> docsTree() {
    using N = FakeNode;
    return {N::file("readme.txt", 6),
            N::file("REPORT.TXT", 1024),
            N::file("reportxtxt", 2048),
            N::file("report.txt.bak", 10),
            N::file("a_b.txt", 1),
            N::file("axb.txt", 2),
            N::file("100%.txt", 3),
            N::file(".x", 4),
            N::file("big.iso", 3LL << 30),
            N::file("tab\tand\nnewline.txt", 5),
            N::dir("Документы", {N::file("Отчёт 2023.TXT", 4096), N::file("ёлка.txt", 100)}),
            N::dir("match.txt", {N::file("inner.dat", 7)}),
            N::dir("empty"),
            N::dir("deep", {N::dir("er", {N::file("leaf.txt", 1025)})})};
}

inline std::vector<FakeNode> musicTree() {
    using N = FakeNode;
    return {N::file("song.mp3", 5 << 20), N::file("notes.txt", 1), N::dir("x", {N::file("y.txt", 0)})};
}

inline const char* kDocs = "\\\\127.0.0.1\\Docs";
inline const char* kMusic = "\\\\127.0.0.2\\Music";

// Everything a back end must do; location selects it. The index is expected empty.
inline void RunIndexCases(const std::string& location) {
    FakeWalker net;
    net.addShare(std::string(kDocs) + "\\", docsTree());
    net.addShare(std::string(kMusic) + "\\", musicTree());
    const std::vector<ScannedShare> shares{{kDocs, "ALPHA"}, {kMusic, "BRAVO"}};

    // A network search records what it walks.
    {
        IndexWriter writer;
        std::string error;
        ASSERT_TRUE(writer.start(location, error)) << error;
        RecordingShareWalker recorder(net, writer);
        recorder.SetEntries(shares);
        SearchHarness h;
        h.runner.SetWalker(recorder);
        h.startShares(makeQuery("nothing-matches-this", false), shares, 6);
        ASSERT_TRUE(h.finish());
        writer.finish();
        EXPECT_EQ(writer.written(), 2);
        EXPECT_EQ(writer.lastError(), "");
    }

    IndexStore store;
    std::string error;
    ASSERT_TRUE(store.open(location, error)) << error;
    const std::vector<ShareState> stored = store.shares();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].share, kDocs);
    EXPECT_EQ(stored[0].hostName, "ALPHA");
    EXPECT_EQ(stored[0].files, 14);
    EXPECT_EQ(stored[0].folders, 5);

    struct Case {
        const char* text;
        bool regex;
        int64_t lo, hi;
        std::vector<std::string> excluded;
    } cases[] = {
        {"*.txt", false, 0, 0, {}},
        {"a_b.txt", false, 0, 0, {}},  // "_" is a plain character, not LIKE's any-one
        {"100%.txt", false, 0, 0, {}}, // "%" is no LIKE run either
        {"a?b.txt", false, 0, 0, {}},
        {"  readme.txt  ", false, 0, 0, {}},
        {"*.TXT", false, 1024, 4096, {}},
        {"*", false, 1024, 0, {}},
        {"*", false, 0, 0, {"music"}},
        {"ёлка*", false, 0, 0, {}},
        {"a|b", false, 0, 0, {}},
        {"\\\\match\\.txt\\\\", true, 0, 0, {}},
        {"^\\\\\\\\127\\.0\\.0\\.1\\\\Docs\\\\[^\\\\]*\\.txt$", true, 0, 0, {}},
        {"(?i)отчёт|ЁЛКА", true, 0, 0, {}},
        {"\\n", true, 0, 0, {}},
        {"[", true, 0, 0, {}}, // does not compile: nothing found either way
    };
    IndexCache cache;
    for (const Case& c : cases) {
        const SearchQuery q = makeQuery(c.text, c.regex, c.lo, c.hi);
        std::vector<ScannedShare> searched;
        for (const ScannedShare& s : shares) {
            if (c.excluded.empty() || s.shareName() != "Music")
                searched.push_back(s);
        }
        const HitSet expected = networkHits(net, q, searched);
        IndexQuery iq;
        iq.query = q;
        iq.shares = shares;
        iq.excludedShares = c.excluded;
        const IndexResult fromStore = indexHits(store, iq, c.text);
        const IndexResult fromCache = indexHits(store, iq, c.text, &cache);
        EXPECT_EQ(fromStore.hits, expected) << c.text;
        EXPECT_EQ(fromCache.hits, expected) << c.text;
        if (!fromStore.summary.expressionError) {
            EXPECT_EQ(fromStore.summary.sharesSearched, int(searched.size())) << c.text;
        }
        EXPECT_EQ(fromStore.summary.examined,
                  fromStore.summary.expressionError ? 0 : (c.excluded.empty() ? 17 : 14))
            << c.text;
    }
    EXPECT_EQ(indexHits(store, IndexQuery{makeQuery("*", false), {}, {}}, "*").hits.size(), 17u);

    // A refresh swaps in the share as it is now: added, renamed and removed files.
    std::vector<FakeNode> changed = docsTree();
    changed.erase(changed.begin());                    // readme.txt removed
    changed[0].name = "RENAMED.TXT";                   // REPORT.TXT renamed
    changed.push_back(FakeNode::file("added.txt", 9)); // one added
    net.addShare(std::string(kDocs) + "\\", changed);
    net.addShare(std::string(kMusic) + "\\", {}); // empty now, but its root still lists
    FakeWalker gone;                              // the host of Docs is offline
    {
        IndexWriter writer;
        ASSERT_TRUE(writer.start(location, error)) << error;
        RecordingShareWalker recorder(net, writer);
        std::atomic<bool> stop{false};
        const auto outcomes = RefreshShares(recorder, shares, 2, stop);
        ASSERT_EQ(outcomes.size(), 2u);
        EXPECT_TRUE(outcomes[0].complete && outcomes[1].complete);
        writer.finish();
    }
    {
        IndexQuery all{makeQuery("*.txt", false), {{kDocs, ""}}, {}};
        const HitSet now = indexHits(store, all, "*.txt", &cache).hits;
        EXPECT_EQ(now, networkHits(net, all.query, {{kDocs, "ALPHA"}}));
        // A share's own computer name labels its results, as on the network.
        const IndexQuery named{all.query, {{kDocs, "OTHER"}}, {}};
        EXPECT_EQ(indexHits(store, named, "*.txt").hits, networkHits(net, named.query, named.shares));
        EXPECT_EQ(now.count({"ALPHA", std::string(kDocs) + "\\RENAMED.TXT", 1024}), 1u);
        EXPECT_EQ(now.count({"ALPHA", std::string(kDocs) + "\\readme.txt", 6}), 0u);
        EXPECT_EQ(now.count({"ALPHA", std::string(kDocs) + "\\added.txt", 9}), 1u);
        EXPECT_TRUE(
            indexHits(store, IndexQuery{makeQuery("*", false), {{kMusic, ""}}, {}}, "*").hits.empty());
    }

    // A walk that fails keeps the rows it would have replaced; one the user
    // stops writes nothing at all.
    {
        IndexWriter writer;
        ASSERT_TRUE(writer.start(location, error)) << error;
        RecordingShareWalker recorder(gone, writer);
        std::atomic<bool> stop{false};
        EXPECT_FALSE(RefreshShares(recorder, {{kDocs, ""}}, 1, stop)[0].complete);
        RecordingShareWalker stopped(net, writer);
        {
            std::unique_ptr<ShareWalk> w = stopped.Open(std::string(kDocs) + "\\");
            WalkRecord rec;
            ASSERT_TRUE(w->Next(rec));
        }
        writer.finish();
        EXPECT_EQ(writer.written(), 0);
    }
    const std::vector<ShareState> after = store.shares();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].outcome, 59);
    EXPECT_GT(after[0].lastWalk, 0);
    EXPECT_EQ(after[0].files, 14);
    EXPECT_EQ(indexHits(store, IndexQuery{makeQuery("added.txt", false), {{kDocs, ""}}, {}}, "added.txt")
                  .hits.size(),
              1u);
}

} // namespace ormix::testing

// index-bench: searches over synthetic index rows. Fills a fresh SQLite index
// (or the PostgreSQL database given with --db) with SHARES shares of the
// benchmark tree's shape (10 x 10 x 10 folders of 100 files, one name in ten
// ending in ".txt"), then times index searches and prints one Markdown row
// per pattern: median milliseconds, matches, and the peak resident memory.
//
//   index-bench [--rows N] [--runs R] [--db DB] [PATTERN...]
#include "index/indexsearch.h"
#include "index/indexstore.h"
#include "regex/regexpr.h"
#include "search/pattern.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace ormix;

namespace {

ShareSnapshot makeShare(int s, int64_t files) {
    ShareSnapshot snap;
    snap.share = "\\\\127.0.0.40\\s" + std::to_string(s);
    snap.hostIp = "127.0.0.40";
    snap.hostName = "BENCH40";
    snap.walkedAt = 1'800'000'000;
    int64_t made = 0;
    for (int a = 0; a < 100 && made < files; ++a) {
        const std::string da = "dir" + std::to_string(a) + "\\";
        snap.entries.push_back({"", "dir" + std::to_string(a), true, 0, 0});
        for (int b = 0; b < 10 && made < files; ++b) {
            const std::string db = da + "sub" + std::to_string(b) + "\\";
            snap.entries.push_back({da, "sub" + std::to_string(b), true, 0, 0});
            for (int c = 0; c < 10 && made < files; ++c) {
                const std::string leaf = db + "leaf" + std::to_string(c) + "\\";
                snap.entries.push_back({db, "leaf" + std::to_string(c), true, 0, 0});
                for (int f = 0; f < 100 && made < files; ++f, ++made) {
                    char name[32];
                    if (f < 90)
                        std::snprintf(name, sizeof name, "file%02d.dat", f);
                    else
                        std::snprintf(name, sizeof name, "note%d.txt", f - 90);
                    snap.entries.push_back({leaf, name, false, f * 37, 1'700'000'000});
                }
            }
        }
    }
    return snap;
}

long peakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int64_t rows = 1'000'000;
    int runs = 5;
    std::string db;
    std::vector<std::string> patterns;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows") && i + 1 < argc)
            rows = std::atoll(argv[++i]);
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--db") && i + 1 < argc)
            db = argv[++i];
        else
            patterns.push_back(argv[i]);
    }
    if (patterns.empty())
        patterns = {"*.txt", "note5.txt", "file*"};
    QTemporaryDir tmp;
    if (db.empty())
        db = tmp.path().toStdString() + "/index.sqlite";

    IndexStore store;
    std::string error;
    if (!store.open(db, error)) {
        std::fprintf(stderr, "index-bench: %s\n", error.c_str());
        return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const int64_t perShare = 100'000;
    for (int s = 0; rows - s * perShare > 0; ++s) {
        if (!store.replaceShare(makeShare(s, std::min(perShare, rows - s * perShare)), error)) {
            std::fprintf(stderr, "index-bench: %s\n", error.c_str());
            return 1;
        }
    }
    const double fillS = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("filled %lld files in %.1f s (%s)\n", static_cast<long long>(rows), fillS,
                store.isPostgres() ? "PostgreSQL" : "SQLite");
    IndexCache cache;
    const auto l0 = std::chrono::steady_clock::now();
    if (!cache.load(store, error)) {
        std::fprintf(stderr, "index-bench: %s\n", error.c_str());
        return 1;
    }
    std::printf("loaded the window's copy of %zu rows in %.0f ms, peak RSS %ld KiB\n", cache.rows(),
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - l0).count(),
                peakKiB());
    std::printf("| pattern | read from | ms (median of %d) | matches | examined | peak RSS KiB |\n"
                "|---|---|---|---|---|---|\n",
                runs);
    for (const std::string& p : patterns)
        for (IndexCache* c : {static_cast<IndexCache*>(nullptr), &cache}) {
            IndexQuery q;
            q.query.expression = PreparePattern(p, false).value_or("");
            q.query.modifiers = TRegExpr().GetModifierStr();
            std::vector<double> ms;
            size_t matches = 0;
            IndexSearchSummary sum;
            for (int r = 0; r < runs; ++r) {
                std::atomic<bool> stop{false};
                matches = 0;
                const auto a = std::chrono::steady_clock::now();
                if (!SearchIndex(
                        store, q, p, stop, [&](std::vector<IndexHit>&& h) { matches += h.size(); }, sum,
                        error, c)) {
                    std::fprintf(stderr, "index-bench: %s\n", error.c_str());
                    return 1;
                }
                ms.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
            }
            std::sort(ms.begin(), ms.end());
            std::printf("| `%s` | %s | %.0f | %zu | %lld | %ld |\n", p.c_str(),
                        c ? "window's copy" : "database", ms[ms.size() / 2], matches,
                        static_cast<long long>(sum.examined), peakKiB());
        }
    return 0;
}

// ormix-cli search [--regex] [--from KB] [--to KB] [--threads N] [--exclude NAMES]
//                  [--index | --record] [--db DB] PATTERN SHARE...
// Searches the shares with the search window's workers and launch rule and
// prints one "NAME<TAB>PATH<TAB>SIZE" line per found file, then "examined N"
// on stderr. SHARE is "\\IP\share" or "\\IP\share<>NAME"; NAME labels the
// results (else the IP). --index answers from the share index instead of the
// network (every indexed share when none is named); --record also keeps what
// the network search walked in the index. --exclude is a comma list of share
// names left out. Exit 0; 1 when the index cannot be read; 2 on bad
// arguments; 3 when the expression does not compile ("error CODE MESSAGE" on
// stderr).
#include "cli/commands.h"
#include "index/indexsearch.h"
#include "index/recording.h"
#include "regex/regexpr.h"
#include "search/pattern.h"
#include "search/searchrunner.h"
#include "search/smbjobs.h"
#include "shares/sharelist.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ormix::cli {
namespace {

int usage() {
    std::fputs("usage: ormix-cli search [--regex] [--from KB] [--to KB] [--threads N] [--exclude NAMES]\n"
               "                        [--index | --record] [--db DB] PATTERN SHARE...\n"
               "  SHARE is \\\\IP\\share or \\\\IP\\share<>NAME; with --index SHARE may be left out\n"
               "  DB is the index file or postgresql://...\n",
               stderr);
    return 2;
}

bool parseInt(const char* text, long long lo, long long hi, long long& out) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

// "\\IP\share" -> "\\IP\share<>IP"; an entry that names its computer stays.
bool searchEntry(const std::string& arg, std::string& entry) {
    const size_t sep = arg.find("<>");
    const std::string share = arg.substr(0, sep);
    if (share.size() < 3 || share.compare(0, 2, "\\\\") != 0)
        return false;
    const size_t slash = share.find('\\', 2);
    if (slash == std::string::npos || slash == 2 || slash + 1 >= share.size())
        return false;
    entry = sep == std::string::npos ? share + "<>" + share.substr(2, slash - 2) : arg;
    return true;
}

class PrintingOwner : public SearchOwner {
public:
    void AddFoundFile(const std::string& hostName, const std::string& folder, int64_t size,
                      const std::string& name) override {
        std::printf("%s\t%s%s\t%lld\n", hostName.c_str(), folder.c_str(), name.c_str(),
                    static_cast<long long>(size));
    }
    void AddExaminedCount(int64_t count) override { examined += count; }
    int64_t examined = 0;
};

int searchIndex(const std::string& db, const SearchQuery& query, const std::string& userText,
                const std::vector<std::string>& entries, const std::vector<std::string>& excluded) {
    IndexStore store;
    std::string error;
    if (!store.Open(db, error)) {
        std::fprintf(stderr, "ormix-cli search: %s\n", error.c_str());
        return 1;
    }
    IndexQuery q;
    q.query = query;
    q.shares = entries;
    q.excludedShares = excluded;
    IndexSearchSummary summary;
    std::atomic<bool> stop{false};
    PrintingOwner owner;
    const bool ok = SearchIndex(
        store, q, userText, stop,
        [&owner](std::vector<IndexHit>&& hits) {
            for (const IndexHit& h : hits)
                owner.AddFoundFile(h.hostName, h.folder, h.size, h.name);
        },
        summary, error);
    std::fflush(stdout);
    if (!ok) {
        std::fprintf(stderr, "ormix-cli search: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "examined %lld\n", static_cast<long long>(summary.examined));
    std::fprintf(stderr, "index: %d shares, %d not indexed, oldest walk %lld\n", summary.sharesSearched,
                 summary.sharesNotIndexed, static_cast<long long>(summary.oldestWalk));
    return 0;
}

} // namespace

int runSearch(int argc, char** argv) {
    bool regexMode = false, fromIndex = false, record = false;
    std::string db;
    std::vector<std::string> excluded;
    long long fromKb = 0, toKb = 0, threads = 6;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        constexpr long long kMaxKb = INT64_MAX / 1024;
        if (a == "--regex") {
            regexMode = true;
        } else if (a == "--from") {
            if (!hasValue || !parseInt(argv[++i], 0, kMaxKb, fromKb))
                return usage();
        } else if (a == "--to") {
            if (!hasValue || !parseInt(argv[++i], 0, kMaxKb, toKb))
                return usage();
        } else if (a == "--threads") {
            if (!hasValue || !parseInt(argv[++i], INT32_MIN, INT32_MAX, threads))
                return usage();
        } else if (a == "--index") {
            fromIndex = true;
        } else if (a == "--record") {
            record = true;
        } else if (a == "--db") {
            if (!hasValue || !*argv[i + 1])
                return usage();
            db = argv[++i];
        } else if (a == "--exclude") {
            if (!hasValue)
                return usage();
            const std::string list = argv[++i];
            for (size_t p = 0; p <= list.size();) {
                const size_t c = std::min(list.find(',', p), list.size());
                if (c > p)
                    excluded.push_back(list.substr(p, c - p));
                p = c + 1;
            }
        } else if (a == "--") {
            rest.insert(rest.end(), argv + i + 1, argv + argc);
            break;
        } else {
            rest.push_back(a);
        }
    }
    if (rest.size() < (fromIndex ? 1u : 2u) || (fromIndex && record))
        return usage();

    std::vector<std::string> entries;
    for (size_t i = 1; i < rest.size(); ++i) {
        std::string entry;
        if (!searchEntry(rest[i], entry)) {
            std::fprintf(stderr, "ormix-cli search: not a share path: %s\n", rest[i].c_str());
            return usage();
        }
        entries.push_back(entry);
    }

    const std::optional<std::string> expr = PreparePattern(rest[0], regexMode);
    if (!expr) {
        std::fprintf(stderr, "%s\n", kEmptyPatternMessage);
        return 2;
    }
    TRegExpr probe;
    probe.SetExpression(*expr);
    try {
        probe.Compile();
    } catch (const ERegExpr& e) {
        std::fprintf(stderr, "error %d %s\n", e.ErrorCode, e.what());
        return 3;
    }

    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    SearchQuery query;
    query.expression = *expr;
    query.modifiers = probe.GetModifierStr();
    query.regexMode = regexMode;
    query.minSizeBytes = fromKb * 1024;
    query.maxSizeBytes = toKb * 1024;
    if (fromIndex)
        return searchIndex(db, query, rest[0], entries, excluded);

    PrintingOwner owner;
    std::atomic<bool> stop{false};
    const std::unique_ptr<ShareWalker> helpers = MakeHelperShareWalker();
    IndexWriter writer;
    std::unique_ptr<RecordingShareWalker> recorder;
    if (record) {
        std::string error;
        if (!writer.Start(db, error)) {
            std::fprintf(stderr, "ormix-cli search: %s\n", error.c_str());
            return 1;
        }
        recorder = std::make_unique<RecordingShareWalker>(*helpers, writer);
        recorder->SetEntries(entries);
    }
    std::vector<std::string> searched;
    for (const std::string& e : entries) {
        std::string ip, name;
        if (!SplitSharePath(e.substr(0, e.find("<>")), ip, name) || !isExcludedShare(name, excluded))
            searched.push_back(e);
    }
    SearchRunner runner(owner, recorder ? static_cast<ShareWalker&>(*recorder) : *helpers, stop);
    bool finished = false;
    runner.OnSearchFinished = [&] {
        finished = true;
        QCoreApplication::quit();
    };
    runner.Start(query, std::move(searched), static_cast<int>(threads));
    if (!finished)
        app.exec();
    writer.Finish();
    std::fflush(stdout);
    std::fprintf(stderr, "examined %lld\n", static_cast<long long>(owner.examined));
    return 0;
}

} // namespace ormix::cli

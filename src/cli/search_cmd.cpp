// ormix-cli search [--regex] [--from KB] [--to KB] [--threads N] [--format F] [--exclude NAMES]
//                  [--index | --record] [--db DB]
//                  [--auth-file FILE | --user [DOMAIN\]USER] PATTERN SHARE...
// Searches the shares with the search window's workers and launch rule and
// prints one "NAME<TAB>PATH<TAB>SIZE" line (or CSV or JSON row) per found file, then "examined N"
// on stderr. SHARE is "\\IP\share" or "\\IP\share<>NAME"; NAME labels the
// results (else the IP). --index answers from the share index instead of the
// network (every indexed share when none is named); --record also keeps what
// the network search walked in the index. --exclude is a comma list of share
// names left out. Exit 0; 1 when the index cannot be read; 2 on bad
// arguments or when a share's walk broke off (its results are incomplete; an
// error line on stderr); 3 when the expression does not compile ("error CODE
// MESSAGE" on stderr). Folders left out for their depth and names that took
// too long to match get a stderr line each.
#include "cli/accountopts.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "index/indexsearch.h"
#include "index/recording.h"
#include "platform/displaytext.h"
#include "regex/regexpr.h"
#include "search/pattern.h"
#include "search/scannedshare.h"
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
    std::fputs(
        "usage: ormix-cli search [--regex] [--from KB] [--to KB] [--threads N] [--format tsv|csv|json]\n"
        "                        [--exclude NAMES] [--index | --record] [--db DB]\n"
        "                        [--auth-file FILE | --user [DOMAIN\\]USER] PATTERN SHARE...\n"
        "  SHARE is \\\\IP\\share or \\\\IP\\share<>NAME; with --index SHARE may be left out\n"
        "  DB is the index file or postgresql://...\n"
        "exit status: 0 done, 1 the index cannot be read, 2 bad arguments or a share's walk broke off\n"
        "  (results incomplete), 3 the expression does not compile\n",
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

// A share as typed, "\\IP\share" or "\\IP\share<>NAME"; one typed without
// a name is labelled with its IP.
bool parseShareArg(const std::string& arg, ScannedShare& share) {
    ScannedShare parsed = ParseScannedShare(arg);
    if (parsed.address().empty() || parsed.shareName().empty())
        return false;
    if (arg.find("<>") == std::string::npos)
        parsed.computerName = parsed.address();
    share = std::move(parsed);
    return true;
}

class PrintingOwner : public SearchOwner {
public:
    explicit PrintingOwner(RowFormat format)
        : rows_(format, {{"host", CellKind::Text}, {"path", CellKind::Path}, {"size", CellKind::Number}}) {
        printOut(rows_.header());
    }
    void AddFoundFile(const std::string& hostName, const std::string& folder, int64_t size,
                      const std::string& name) override {
        printOut(rows_.row({hostName, folder + name, std::to_string(size)}));
    }
    void AddExaminedCount(int64_t count) override { examined += count; }
    void AddSearchNote(SearchNote note, const std::string& hostName, const std::string& path) override {
        // Paths come from servers: shown as one visible line.
        const std::string where = displayText(path) + " (" + displayText(hostName) + ")";
        switch (note) {
        case SearchNote::Incomplete:
            incomplete = true;
            std::fprintf(stderr, "ormix-cli search: error: walk of %s broke off, results incomplete\n",
                         where.c_str());
            break;
        case SearchNote::TooDeep:
            std::fprintf(stderr, "ormix-cli search: folders deeper than %d levels left out: %s\n",
                         kMaxWalkDepth, where.c_str());
            break;
        case SearchNote::StepLimit:
            std::fprintf(stderr, "ormix-cli search: name took too long to match, skipped: %s\n",
                         where.c_str());
            break;
        }
    }
    int64_t examined = 0;
    bool incomplete = false;

private:
    RowWriter rows_;
};

int searchIndex(const std::string& db, const SearchQuery& query, const std::string& userText,
                const std::vector<ScannedShare>& shares, const std::vector<std::string>& excluded,
                RowFormat format) {
    IndexStore store;
    std::string error;
    if (!store.open(db, error)) {
        std::fprintf(stderr, "ormix-cli search: %s\n", error.c_str());
        return 1;
    }
    IndexQuery q;
    q.query = query;
    q.shares = shares;
    q.excludedShares = excluded;
    IndexSearchSummary summary;
    std::atomic<bool> stop{false};
    PrintingOwner owner(format);
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
    RowFormat format = RowFormat::Tsv;
    std::vector<std::string> rest;
    AccountOptions accounts;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        const OptionResult taken = takeAccountOption(argc, argv, i, accounts);
        if (taken == OptionResult::Bad)
            return usage();
        if (taken == OptionResult::Taken)
            continue;
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
        } else if (a == "--format") {
            if (!hasValue || !parseFormatArg(argv[++i], format))
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

    std::vector<ScannedShare> shares;
    for (size_t i = 1; i < rest.size(); ++i) {
        ScannedShare share;
        if (!parseShareArg(rest[i], share)) {
            printErr("ormix-cli search: not a share path: " + rest[i]);
            return usage();
        }
        shares.push_back(std::move(share));
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
        std::fprintf(stderr, "error %d %s\n", e.ErrorCode, PatternErrorText(rest[0], regexMode, e).c_str());
        return 3;
    }

    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    if (!applyAccountOptions(accounts, "search"))
        return 2;
    SearchQuery query;
    query.expression = *expr;
    query.modifiers = probe.GetModifierStr();
    query.regexMode = regexMode;
    query.minSizeBytes = fromKb * 1024;
    query.maxSizeBytes = toKb * 1024;
    if (fromIndex)
        return searchIndex(db, query, rest[0], shares, excluded, format);

    PrintingOwner owner(format);
    std::atomic<bool> stop{false};
    const std::unique_ptr<ShareWalker> helpers = MakeHelperShareWalker();
    IndexWriter writer;
    std::unique_ptr<RecordingShareWalker> recorder;
    if (record) {
        std::string error;
        if (!writer.start(db, error)) {
            std::fprintf(stderr, "ormix-cli search: %s\n", error.c_str());
            return 1;
        }
        recorder = std::make_unique<RecordingShareWalker>(*helpers, writer);
        recorder->SetEntries(shares);
    }
    std::vector<ScannedShare> searched;
    for (ScannedShare& share : shares) {
        if (!isExcludedShare(share.shareName(), excluded))
            searched.push_back(std::move(share));
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
    writer.finish();
    std::fflush(stdout);
    std::fprintf(stderr, "examined %lld\n", static_cast<long long>(owner.examined));
    return owner.incomplete ? 2 : 0;
}

} // namespace ormix::cli

// ormix-cli index update [--db DB] [--threads N] [SHARE...]
// ormix-cli index stats [--db DB]
// update walks the shares (all shares the index knows when none is named)
// through the SMB helpers, at most N at once and one per host, and swaps each
// completely walked share into the index; it prints one
// "SHARE<TAB>ok|failed<TAB>ENTRIES" line per share. stats prints one
// "SHARE<TAB>NAME<TAB>FILES<TAB>FOLDERS<TAB>LAST WALK<TAB>OUTCOME" line per
// share. DB is a SQLite file or postgresql://... Exit 0; 1 when the index
// cannot be opened or written (or a share failed); 2 on bad arguments.
#include "cli/commands.h"
#include "index/recording.h"
#include "index/refresh.h"
#include "search/scannedshare.h"
#include "search/smbjobs.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ormix::cli {
namespace {

int usage() {
    std::fputs("usage: ormix-cli index update [--db DB] [--threads N] [SHARE...]\n"
               "       ormix-cli index stats [--db DB]\n"
               "  SHARE is \\\\IP\\share or \\\\IP\\share<>NAME; DB is a file or postgresql://...\n",
               stderr);
    return 2;
}

std::string timeText(int64_t t) {
    if (t == 0)
        return "never";
    return QDateTime::fromSecsSinceEpoch(t).toString(Qt::ISODate).toStdString();
}

int runStats(const std::string& db) {
    IndexStore store;
    std::string error;
    if (!store.open(db, error)) {
        std::fprintf(stderr, "ormix-cli index: %s\n", error.c_str());
        return 1;
    }
    const std::vector<ShareState> shares = store.shares(&error);
    if (!error.empty()) {
        std::fprintf(stderr, "ormix-cli index: %s\n", error.c_str());
        return 1;
    }
    int64_t files = 0, folders = 0;
    for (const ShareState& s : shares) {
        std::printf("%s\t%s\t%lld\t%lld\t%s\t%d\n", s.share.c_str(), s.hostName.c_str(),
                    static_cast<long long>(s.files), static_cast<long long>(s.folders),
                    timeText(s.lastWalk).c_str(), s.outcome);
        files += s.files;
        folders += s.folders;
    }
    std::fprintf(stderr, "shares %zu files %lld folders %lld\n", shares.size(), static_cast<long long>(files),
                 static_cast<long long>(folders));
    return 0;
}

int runUpdate(const std::string& db, int threads, std::vector<ScannedShare> shares) {
    IndexWriter writer;
    std::string error;
    if (!writer.start(db, error)) {
        std::fprintf(stderr, "ormix-cli index: %s\n", error.c_str());
        return 1;
    }
    if (shares.empty()) {
        IndexStore store;
        if (!store.open(db, error)) {
            std::fprintf(stderr, "ormix-cli index: %s\n", error.c_str());
            return 1;
        }
        for (const ShareState& s : store.shares())
            shares.push_back({s.share, s.hostName});
    }
    const std::unique_ptr<ShareWalker> helpers = MakeHelperShareWalker();
    RecordingShareWalker recorder(*helpers, writer);
    recorder.SetEntries(shares);
    std::atomic<bool> stop{false};
    const std::vector<RefreshOutcome> done = RefreshShares(recorder, shares, threads, stop);
    writer.finish();
    int rc = 0;
    for (const RefreshOutcome& o : done) {
        std::printf("%s\t%s\t%lld\n", o.share.c_str(), o.complete ? "ok" : "failed",
                    static_cast<long long>(o.entries));
        if (!o.complete)
            rc = 1;
    }
    if (!writer.lastError().empty()) {
        std::fprintf(stderr, "ormix-cli index: %s\n", writer.lastError().c_str());
        rc = 1;
    }
    return rc;
}

bool parseThreads(const char* text, int& out) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 1 || v > 64)
        return false;
    out = int(v);
    return true;
}

} // namespace

int runIndex(int argc, char** argv) {
    if (argc < 2)
        return usage();
    const std::string sub = argv[1];
    std::string db;
    int threads = 4;
    std::vector<ScannedShare> shares;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--db") {
            if (i + 1 >= argc || !*argv[i + 1])
                return usage();
            db = argv[++i];
        } else if (a == "--threads" && sub == "update") {
            if (i + 1 >= argc || !parseThreads(argv[++i], threads))
                return usage();
        } else if (sub == "update" && a.rfind("--", 0) != 0) {
            ScannedShare share = ParseScannedShare(a);
            share.path = ShareOfRoot(share.path);
            std::string ip, shareName;
            if (!SplitSharePath(share.path, ip, shareName)) {
                std::fprintf(stderr, "ormix-cli index: not a share path: %s\n", a.c_str());
                return usage();
            }
            shares.push_back(std::move(share));
        } else {
            return usage();
        }
    }
    // Qt SQL finds its drivers through the application object.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    if (sub == "stats")
        return runStats(db);
    if (sub == "update")
        return runUpdate(db, threads, std::move(shares));
    return usage();
}

} // namespace ormix::cli

// gui-bench: how the main window copes with a large scan. Inside a network
// namespace made for the run, nbt-responder answers for 2,000 addresses; the
// real MainWindow scans them with share counting off while a 1 ms timer on the
// main thread measures the longest stall of the event loop. Then it times
// sorting the 2,000 hosts by each column. Prints a Markdown table of medians.
//
// With --testlan it scans the test LAN (tools/testlan, 20 extra hosts) with
// share counting on instead and checks that the tree holds every share.
//
// usage: gui-bench [--runs N] [--testlan] [--netbios-only]   (root; offscreen platform)
#include "fixtures/netns.h"
#include "fixtures/testlan.h"
#include "gui/application.h"
#include "gui/appstate.h"
#include "gui/mainwindow.h"
#include "gui/scansession.h"
#include "gui/settingswindow.h"
#include "platform/programdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace ormix;

namespace {

constexpr int kHosts = 2000;
// Every 8th address answers: 2,000 of the 16,384 (see bench/README.md on why
// not 2,000 neighbouring addresses).
const char* kRange = "127.3.0.0/18";
constexpr uint32_t kStep = 8;

struct ScanResult {
    double seconds = 0;
    double maxStallMs = 0;
    double p99StallMs = 0;
    int hosts = 0;
    int shares = 0;
    std::vector<double> sortMs[4];
};

// --netbios-only: one node-status query per address and nothing else, as
// before the retry pass and the SMB-port and WS-Discovery sweeps (their sends
// and waits add to the wall time).
bool g_netbiosOnly = false;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One scan of `ranges` by a fresh main window; the loop's stalls are the gaps
// between ticks of a 1 ms timer, less the 1 ms period.
ScanResult scanOnce(const std::vector<std::string>& ranges, bool shareCounting, const ShareLister& lister) {
    QTemporaryDir folder;
    const QString home = QDir::currentPath();
    QDir::setCurrent(folder.path());
    AppState state(configFilePath(), folder.path().toStdString() + "/");
    AppSettings settings;
    settings.showShareCount = shareCounting;
    settings.groupByWorkgroup = true;
    state.setSettings(settings);
    if (g_netbiosOnly) {
        // A scan reads its methods and retries from the file when it starts.
        state.config().WriteNumber("main", "ScanSmb", 0);
        state.config().WriteNumber("main", "ScanWsd", 0);
        state.config().WriteNumber("main", "scan_retries", 0);
    }
    auto dlg = std::make_unique<MainWindow>(state);
    if (lister)
        dlg->Session().Lister = lister;
    const auto list = std::make_shared<const std::vector<std::string>>(ranges);
    dlg->Session().LaunchScanner = [list](ScanOptions o, std::shared_ptr<ScanObserver> obs) {
        o.ranges = list;
        o.selectTimeout = [] { return SelectTimeout{1, 0}; };
        std::make_shared<Scanner>(std::move(o), std::move(obs))->start();
    };
    dlg->show();
    QCoreApplication::processEvents();

    std::vector<double> gaps;
    QElapsedTimer since;
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        gaps.push_back(std::max(0.0, since.nsecsElapsed() / 1e6 - 1.0));
        if (getenv("GUI_BENCH_DEBUG") && gaps.back() > 20)
            std::fprintf(stderr, "stall %.1f ms at %.3f s, %d hosts, %d workers, %zu queued\n", gaps.back(),
                         clock.nsecsElapsed() / 1e9, dlg->HostsTotal, dlg->Session().ActiveWorkers,
                         dlg->Session().PendingHosts.size());
        since.restart();
    });
    since.start();
    tick.start();
    dlg->StartScan();
    while (dlg->Scanning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    tick.stop();

    ScanResult r;
    r.seconds = clock.nsecsElapsed() / 1e9;
    std::sort(gaps.begin(), gaps.end());
    r.maxStallMs = gaps.empty() ? 0 : gaps.back();
    r.p99StallMs = gaps.empty() ? 0 : gaps[gaps.size() * 99 / 100];
    r.hosts = dlg->HostsTotal;
    for (int g = 0; g < dlg->MainTree->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = dlg->MainTree->topLevelItem(g);
        for (int h = 0; h < group->childCount(); ++h)
            r.shares += group->child(h)->childCount();
    }

    // Sorting by every column, each click timed (the direction turns at every
    // second click on the same column).
    for (int c = 0; c < 4; ++c) {
        for (int i = 0; i < 4; ++i) {
            QElapsedTimer t;
            t.start();
            dlg->MainTreeColumnClick(c);
            r.sortMs[c].push_back(t.nsecsElapsed() / 1e6);
        }
    }
    if (getenv("GUI_BENCH_DEBUG"))
        std::fprintf(stderr, "%s\n", dlg->IpMemo->toPlainText().toStdString().c_str());
    dlg->hide();
    dlg.reset();
    QDir::setCurrent(home);
    return r;
}

void printScans(const char* what, const std::vector<ScanResult>& runs) {
    std::vector<double> secs, maxStall, p99;
    for (const auto& r : runs) {
        secs.push_back(r.seconds);
        maxStall.push_back(r.maxStallMs);
        p99.push_back(r.p99StallMs);
    }
    double worst = 0;
    for (double s : maxStall)
        worst = std::max(worst, s);
    std::printf("| %s | %zu | %.2f s | %.1f ms | %.1f ms | %.1f ms | %d | %d |\n", what, runs.size(),
                median(secs), median(maxStall), worst, median(p99), runs.back().hosts, runs.back().shares);
}

void printSorts(const std::vector<ScanResult>& runs) {
    const char* names[] = {"Название", "IP / Описание", "#", "MAC адрес"};
    std::printf("\n| sort %d hosts by | clicks | median | longest |\n|---|---|---|---|\n", runs.back().hosts);
    for (int c = 0; c < 4; ++c) {
        std::vector<double> all;
        for (const auto& r : runs)
            all.insert(all.end(), r.sortMs[c].begin(), r.sortMs[c].end());
        std::printf("| \"%s\" | %zu | %.1f ms | %.1f ms |\n", names[c], all.size(), median(all),
                    all.empty() ? 0.0 : *std::max_element(all.begin(), all.end()));
    }
}

int benchResponder(int runs, const std::string& binDir) {
    if (std::string why = testing::netnsUnavailableReason(); !why.empty()) {
        std::fprintf(stderr, "gui-bench: %s\n", why.c_str());
        return 1;
    }
    // One socket per answering address.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    testing::NetNamespace ns("guibench");
    std::string error;
    if (!ns.create(error) || !ns.enter(error)) {
        std::fprintf(stderr, "gui-bench: %s\n", error.c_str());
        return 1;
    }
    // The answering computers: one nbt-responder process for all of them.
    const std::string conf = QDir::temp().filePath("gui-bench-%1.conf").arg(getpid()).toStdString();
    {
        FILE* f = std::fopen(conf.c_str(), "w");
        const uint32_t base = ntohl(inet_addr("127.3.0.1"));
        for (int i = 0; i < kHosts; ++i) {
            const uint32_t a = base + kStep * static_cast<uint32_t>(i);
            std::fprintf(f, "host %u.%u.%u.%u\nname WS%d\nworkgroup GROUP%d\nmac 02-00-00-00-%02X-%02X\n",
                         a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255, 1000 + i, i % 8, (i >> 8) & 255,
                         i & 255);
        }
        std::fclose(f);
    }
    int out = -1;
    const pid_t responder = testing::spawnCommand({binDir + "/nbt-responder", "--config", conf}, &out);
    if (responder < 0 || !testing::waitForLine(out, "ready", 10000)) {
        std::fprintf(stderr, "gui-bench: nbt-responder did not start\n");
        if (responder > 0)
            testing::stopCommand(responder);
        std::remove(conf.c_str());
        return 1;
    }

    std::printf(
        "| scan | runs | wall (median) | longest stall (median) | longest stall (worst) | 99th pct. stall | "
        "hosts in tree | shares |\n|---|---|---|---|---|---|---|---|\n");
    // The first pass, with a responder that has not answered yet, is shown apart.
    printScans("2,000 responders, first pass", {scanOnce({kRange}, false, {})});
    std::vector<ScanResult> results;
    for (int i = 0; i < runs; ++i)
        results.push_back(scanOnce({kRange}, false, {}));
    printScans("2,000 responders, share counting off", results);
    printSorts(results);
    testing::stopCommand(responder);
    close(out);
    std::remove(conf.c_str());
    ns.leave();
    return 0;
}

int benchTestLan(int runs, const std::string& sourceDir, const std::string& binDir) {
    // Where the test LAN finds tools/testlan and nbt-responder.
    setenv("ORMIX_SOURCE_DIR", sourceDir.c_str(), 1);
    setenv("ORMIX_BIN_DIR", binDir.c_str(), 1);
    testing::TestLan lan("guibench-" + std::to_string(getpid()));
    if (std::string why = lan.upAndEnter({.extraHosts = 20}); !why.empty()) {
        std::fprintf(stderr, "gui-bench: %s\n", why.c_str());
        return 1;
    }
    {
        SmbPoolOptions o;
        o.helperPath = binDir + "/ormix-smb";
        SmbHelperPool pool(o);
        pool.prestart(6);
        // One untimed pass lets every smbd start its RPC service.
        scanOnce({"127.0.0.10-15", "127.0.0.101-120"}, true, poolLister(pool));
        std::vector<ScanResult> results;
        for (int i = 0; i < runs; ++i)
            results.push_back(scanOnce({"127.0.0.10-15", "127.0.0.101-120"}, true, poolLister(pool)));
        std::printf("| scan | runs | wall (median) | longest stall (median) | longest stall (worst) | 99th "
                    "pct. stall "
                    "| hosts in tree | shares |\n|---|---|---|---|---|---|---|---|\n");
        printScans("test LAN, 25 computers, share counting on", results);
        std::printf("(expected: 25 computers, 209 shares)\n");
    }
    lan.down();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    bool testlan = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--testlan"))
            testlan = true;
        else if (!std::strcmp(argv[i], "--netbios-only"))
            g_netbiosOnly = true;
        else {
            std::fprintf(stderr, "usage: gui-bench [--runs N] [--testlan] [--netbios-only]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath().toStdString();
    OrmixApplication app(argc, argv);
    if (testlan)
        return benchTestLan(runs, ORMIX_SOURCE_DIR, self);
    return benchResponder(runs, self);
}

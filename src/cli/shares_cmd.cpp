// ormix-cli shares [--exclude LIST] [--format tsv|csv|json]
//                  [--auth-file FILE | --user [DOMAIN\]USER] IP...: the shares
// every host keeps after the exclusion, one "\\IP\NAME<TAB>REMARK" line each
// (or a CSV or JSON row), hosts in argument order.
// Runs up to six enumerations at once through the SMB helper pool, as the
// program's share workers do. Exit 0 when every enumeration succeeded, else 2.
#include "cli/accountopts.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "settings/configfile.h"
#include "shares/sharelist.h"

#include <QCoreApplication>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ormix::cli {
namespace {

constexpr int kWorkers = 6; // the default of MaxAddThrds

struct HostResult {
    HostInfo host;
    int32_t status = 0;
    std::vector<std::string> log;
    bool done = false;
};

int usage() {
    std::fputs("usage: ormix-cli shares [--exclude LIST] [--format tsv|csv|json]\n"
               "                        [--auth-file FILE | --user [DOMAIN\\]USER] IP...\n",
               stderr);
    return 2;
}

bool isIpv4(const std::string& text) {
    in_addr a;
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

} // namespace

int runShares(int argc, char** argv) {
    std::vector<std::string> excluded;
    std::vector<HostResult> results;
    RowFormat format = RowFormat::Tsv;
    AccountOptions accounts;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const OptionResult taken = takeAccountOption(argc, argv, i, accounts);
        if (taken == OptionResult::Bad)
            return usage();
        if (taken == OptionResult::Taken)
            continue;
        if (a == "--exclude") {
            if (i + 1 >= argc)
                return usage();
            excluded = DecodeCommaList(argv[++i]);
        } else if (a == "--format") {
            if (i + 1 >= argc || !parseFormatArg(argv[++i], format))
                return usage();
        } else if (isIpv4(a)) {
            results.emplace_back().host.Ip = a;
        } else {
            printErr("ormix-cli shares: not an IPv4 address: " + a);
            return usage();
        }
    }
    if (results.empty())
        return usage();
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv); // the keyring answers through its event loop
    if (!applyAccountOptions(accounts, "shares"))
        return 2;

    const ShareLister lister = poolLister(processSmbPool());
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next++) < results.size();) {
            HostResult& r = results[i];
            std::vector<std::string> log;
            HostInfo host = r.host;
            const int32_t status = EnumerateShares(host, excluded, lister,
                                                   [&log](const std::string& line) { log.push_back(line); });
            std::lock_guard lock(mutex);
            r.host = std::move(host);
            r.status = status;
            r.log = std::move(log);
            r.done = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (int w = 0; w < std::min<int>(kWorkers, static_cast<int>(results.size())); ++w)
        workers.emplace_back(work);

    const RowWriter rows(format, {{"path", CellKind::Path}, {"remark", CellKind::Text}});
    printOut(rows.header());
    bool allOk = true;
    for (auto& r : results) {
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&r] { return r.done; });
        }
        std::string text;
        for (const auto& s : r.host.Shares)
            text += rows.row({s.Path, s.Remark});
        printOut(text);
        for (const auto& line : r.log)
            printErr(line);
        allOk = allOk && r.status == 0;
    }
    for (auto& t : workers)
        t.join();
    return allOk ? 0 : 2;
}

} // namespace ormix::cli

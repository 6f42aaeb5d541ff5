// ormix-cli scan: runs the scanner over range texts and prints each reported
// host as IP<TAB>NAME<TAB>WORKGROUP<TAB>MAC (or as CSV or JSON with --format);
// with --methods beyond netbios a fifth column lists the ways the host was
// found, and an unknown MAC reads "-". The scanner's log goes to stderr.
#include "cli/commands.h"
#include "cli/output.h"
#include "platform/programdir.h"
#include "scan/scanner.h"
#include "settings/appsettings.h"
#include "settings/configfile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace ormix::cli {
namespace {

class PrintingObserver : public ScanObserver {
public:
    PrintingObserver(RowFormat format, bool methodsColumn)
        : methodsColumn_(methodsColumn), rows_(format, columns(methodsColumn)) {
        printOut(rows_.header());
    }
    void logLine(const std::string& line) override { printErr(line); }
    void foundHost(const HostTexts& h) override {
        if (methodsColumn_)
            printOut(rows_.row(
                {h.ip, h.name, h.workgroup, h.mac.empty() ? "-" : h.mac, discoveryMethodNames(h.foundBy)}));
        else
            printOut(rows_.row({h.ip, h.name, h.workgroup, h.mac}));
    }
    void progressTotal(int64_t) override {}
    void progress(int64_t) override {}
    void fatalMessage(const std::string& text) override { printErr(text); }
    void finished() override {}

private:
    static std::vector<Column> columns(bool methodsColumn) {
        std::vector<Column> c{{"ip", CellKind::Text},
                              {"name", CellKind::Text},
                              {"workgroup", CellKind::Text},
                              {"mac", CellKind::Text}};
        if (methodsColumn)
            c.push_back({"methods", CellKind::Text});
        return c;
    }

    bool methodsColumn_;
    RowWriter rows_;
};

int usage() {
    std::fputs("usage: ormix-cli scan [--timeout SECONDS] [--methods netbios,smb,wsd] [--retries 0-2]\n"
               "                      [--format tsv|csv|json] RANGE...\n"
               "  --methods  how to find computers: node-status queries (netbios, the default),\n"
               "             the SMB port 445 with the server's own name (smb), WS-Discovery\n"
               "             with the name and workgroup from the computer's metadata (wsd);\n"
               "             with more than netbios each line gets a fifth column naming the\n"
               "             methods that found the host, and an unknown MAC reads -\n"
               "  --retries  ask addresses that did not answer again, up to twice (default 0)\n",
               stderr);
    return 2;
}

bool parseSeconds(const char* text, SelectTimeout& out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v) || v < 0 || v > 86400)
        return false;
    const auto us = static_cast<int64_t>(std::llround(v * 1e6));
    out.seconds = static_cast<int32_t>(us / 1000000);
    out.microseconds = static_cast<int32_t>(us % 1000000);
    return true;
}

} // namespace

int runScan(int argc, char** argv) {
    auto ranges = std::make_shared<std::vector<std::string>>();
    std::optional<SelectTimeout> timeout;
    RowFormat format = RowFormat::Tsv;
    unsigned methods = kFoundByNetbios;
    int retries = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--timeout") {
            SelectTimeout t;
            if (i + 1 >= argc || !parseSeconds(argv[i + 1], t))
                return usage();
            timeout = t;
            ++i;
        } else if (a == "--format") {
            if (i + 1 >= argc || !parseFormatArg(argv[++i], format))
                return usage();
        } else if (a == "--methods") {
            if (i + 1 >= argc || !parseDiscoveryMethods(argv[i + 1], methods)) {
                std::fprintf(stderr,
                             "ormix-cli scan: --methods takes netbios, smb and/or wsd, comma-separated\n");
                return usage();
            }
            ++i;
        } else if (a == "--retries") {
            const std::string v = i + 1 < argc ? argv[i + 1] : "";
            if (v != "0" && v != "1" && v != "2") {
                std::fprintf(stderr, "ormix-cli scan: --retries takes 0, 1 or 2\n");
                return usage();
            }
            retries = v[0] - '0';
            ++i;
        } else {
            ranges->push_back(a);
        }
    }
    ScanOptions options;
    options.ranges = ranges;
    options.methods = methods;
    options.retries = retries;
    auto config = std::make_shared<ConfigFile>(configFilePath());
    if (config->IsTooLarge())
        std::fputs("cfg.ini is larger than 1 MiB and is not read; the default wait is used\n", stderr);
    if (timeout) {
        options.selectTimeout = [t = *timeout] { return t; };
    } else {
        options.selectTimeout = [config] { return configuredSelectTimeout(*config); };
    }
    options.maxQueriesPerSecond = configuredQueriesPerSecond(*config);
    auto scanner = std::make_shared<Scanner>(
        options, std::make_shared<PrintingObserver>(format, methods != kFoundByNetbios));
    scanner->run();
    return 0;
}

} // namespace ormix::cli

// ormix-cli scan: runs the scanner over range texts and prints each reported
// host as IP<TAB>NAME<TAB>WORKGROUP<TAB>MAC (or as CSV or JSON with --format);
// the scanner's log goes to stderr.
#include "cli/commands.h"
#include "cli/output.h"
#include "platform/programdir.h"
#include "scan/scanner.h"
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
    explicit PrintingObserver(RowFormat format)
        : rows_(format, {{"ip", CellKind::Text},
                         {"name", CellKind::Text},
                         {"workgroup", CellKind::Text},
                         {"mac", CellKind::Text}}) {
        printOut(rows_.header());
    }
    void logLine(const std::string& line) override { printErr(line); }
    void foundHost(const HostTexts& h) override { printOut(rows_.row({h.ip, h.name, h.workgroup, h.mac})); }
    void progressTotal(int64_t) override {}
    void progress(int64_t) override {}
    void fatalMessage(const std::string& text) override { printErr(text); }
    void finished() override {}

private:
    RowWriter rows_;
};

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
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--timeout") {
            SelectTimeout t;
            if (i + 1 >= argc || !parseSeconds(argv[i + 1], t)) {
                std::fputs("usage: ormix-cli scan [--timeout SECONDS] [--format tsv|csv|json] RANGE...\n",
                           stderr);
                return 2;
            }
            timeout = t;
            ++i;
        } else if (a == "--format") {
            if (i + 1 >= argc || !parseFormatArg(argv[++i], format)) {
                std::fputs("usage: ormix-cli scan [--timeout SECONDS] [--format tsv|csv|json] RANGE...\n",
                           stderr);
                return 2;
            }
        } else {
            ranges->push_back(a);
        }
    }
    ScanOptions options;
    options.ranges = ranges;
    if (timeout) {
        options.selectTimeout = [t = *timeout] { return t; };
    } else {
        auto config = std::make_shared<ConfigFile>(ConfigFilePath());
        if (config->IsTooLarge())
            std::fputs("cfg.ini is larger than 1 MiB and is not read; the default wait is used\n", stderr);
        options.selectTimeout = [config] { return configuredSelectTimeout(*config); };
    }
    auto scanner = std::make_shared<NBTMain>(options, std::make_shared<PrintingObserver>(format));
    scanner->Execute();
    return 0;
}

} // namespace ormix::cli

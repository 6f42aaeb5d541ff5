// ormix-cli scan: runs the scanner over range texts and prints each reported
// host as IP<TAB>NAME<TAB>WORKGROUP<TAB>MAC; with --methods beyond netbios a
// fifth column lists the ways the host was found, and an unknown MAC reads
// "-". The scanner's log goes to stderr.
#include "cli/commands.h"
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
    explicit PrintingObserver(bool methodsColumn) : methodsColumn_(methodsColumn) {}
    void logLine(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
    void foundHost(const HostTexts& h) override {
        if (methodsColumn_)
            std::printf("%s\t%s\t%s\t%s\t%s\n", h.ip.c_str(), h.name.c_str(), h.workgroup.c_str(),
                        h.mac.empty() ? "-" : h.mac.c_str(), discoveryMethodNames(h.foundBy).c_str());
        else
            std::printf("%s\t%s\t%s\t%s\n", h.ip.c_str(), h.name.c_str(), h.workgroup.c_str(), h.mac.c_str());
        std::fflush(stdout);
    }
    void progressTotal(int64_t) override {}
    void progress(int64_t) override {}
    void fatalMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void finished() override {}

private:
    bool methodsColumn_;
};

int usage() {
    std::fputs("usage: ormix-cli scan [--timeout SECONDS] [--methods netbios,smb] [--retries 0-2] RANGE...\n"
               "  --methods  how to find computers: node-status queries (netbios, the default)\n"
               "             and/or the SMB port 445 with the server's own name (smb); with\n"
               "             more than netbios each line gets a fifth column naming the\n"
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
        } else if (a == "--methods") {
            if (i + 1 >= argc || !parseDiscoveryMethods(argv[i + 1], methods)) {
                std::fprintf(stderr, "ormix-cli scan: --methods takes netbios and/or smb, comma-separated\n");
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
    auto config = std::make_shared<ConfigFile>("cfg.ini");
    if (timeout) {
        options.selectTimeout = [t = *timeout] { return t; };
    } else {
        options.selectTimeout = [config] { return configuredSelectTimeout(*config); };
    }
    options.maxQueriesPerSecond = configuredQueriesPerSecond(*config);
    auto scanner =
        std::make_shared<NBTMain>(options, std::make_shared<PrintingObserver>(methods != kFoundByNetbios));
    scanner->Execute();
    return 0;
}

} // namespace ormix::cli

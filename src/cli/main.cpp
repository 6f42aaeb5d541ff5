// ormix-cli: the command-line face of ORMIX's core (scanning, share listing,
// file search and the expression engine), for scripts and for the test suite.
#include "cli/commands.h"
#include "export/rowformat.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

void printUsage(std::FILE* out) {
    std::fputs("usage: ormix-cli COMMAND [ARGS...]\n"
               "       ormix-cli --version\n"
               "\n"
               "commands:\n",
               out);
    for (const auto& c : ormix::cli::commands())
        std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
    std::fputs("\nscan, shares and search ", out);
    std::fputs(ormix::kRowFormatHelp, out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const std::string_view cmd = argv[1];
    if (cmd == "--version") {
        std::printf("ormix-cli %s\n", ORMIX_VERSION);
        return 0;
    }
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        printUsage(stdout);
        return 0;
    }
    for (const auto& c : ormix::cli::commands()) {
        if (cmd == c.name)
            return c.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "ormix-cli: unknown command '%s'\n", argv[1]);
    printUsage(stderr);
    return 2;
}

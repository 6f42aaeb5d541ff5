// The subcommands of ormix-cli. Each lives in its own <name>_cmd.cpp and is
// listed once in commands.cpp.
#pragma once

#include <vector>

namespace ormix::cli {

struct Command {
    const char* name;
    const char* summary;
    // argv[0] is the command name itself.
    int (*run)(int argc, char** argv);
};

const std::vector<Command>& commands();

int runScan(int argc, char** argv);
int runRanges(int argc, char** argv);
int runShares(int argc, char** argv);
int runSearch(int argc, char** argv);
int runRegex(int argc, char** argv);
int runIndex(int argc, char** argv);

} // namespace ormix::cli

#include "cli/commands.h"

namespace ormix::cli {

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"regex", "probe the expression engine", runRegex},
        {"scan", "scan address ranges for NetBIOS hosts", runScan},
        {"ranges", "show how range texts are read", runRanges},
        {"shares", "list the shares of hosts", runShares},
        {"search", "search shares for files by name, expression and size", runSearch},
        {"index", "fill the share index and show what it holds", runIndex},
    };
    return list;
}

} // namespace ormix::cli

#include "cli/commands.h"

namespace ormix::cli {

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        // {"regex", "probe the expression engine", runRegex},
    };
    return list;
}

} // namespace ormix::cli

// The program entry: one running copy per user, the windows in their fixed
// order, the event loop and the end of the process.
#pragma once

namespace ormix {

// Runs ORMIX and never returns: the process ends inside.
[[noreturn]] void RunOrmix(int argc, char** argv);

} // namespace ormix

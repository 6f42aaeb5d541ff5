// The folder the program keeps its own files in ("range.lst").
// Tests: tests/platform/programdir_test.cpp.
#pragma once

#include <string>

namespace ormix {

// The folder of the program file, ending with '/', when the program may write
// there; otherwise $XDG_DATA_HOME/ormix/ (default ~/.local/share/ormix/),
// created if missing. A UTF-8 path.
std::string ProgramDir();

// The same choice for a given program folder.
std::string programDirFor(const std::string& executableDir);

} // namespace ormix

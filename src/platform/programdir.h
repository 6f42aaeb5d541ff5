// Where the program finds its parts and keeps its files: beside the program in
// a build folder, in the user's XDG folders for an installed copy.
// Tests: tests/platform/programdir_test.cpp.
#pragma once

#include <string>

namespace ormix {

// The folder of the program file, ending with '/', when the program may write
// there; otherwise $XDG_DATA_HOME/ormix/ (default ~/.local/share/ormix/),
// created if missing. A UTF-8 path.
std::string programDir();

// The same choice for a given program folder.
std::string programDirFor(const std::string& executableDir);

// An installed copy is a program in a folder named "bin" whose sibling
// share/ormix/ holds the marker kInstalledMarker that only `cmake --install`
// (and so the package) puts there. A build folder has bin/ but no marker, so a
// run from it keeps its files beside the program and in the current folder.
inline constexpr const char* kInstalledMarker = "installed";
bool runsInstalled(const std::string& executableDir);
bool runsInstalled(); // for the running program

// The folder of the running program, without a trailing '/'.
std::string executableDir();

// The path of cfg.ini: $XDG_CONFIG_HOME/ormix/cfg.ini (default
// ~/.config/ormix, created if missing) for an installed copy, else cfg.ini in
// the current folder at the time of the call, as an absolute path.
std::string configFilePath();
std::string configFilePathFor(const std::string& executableDir);

// The folder with the program's read-only data (the help pages):
// <prefix>/share/ormix for an installed copy, else the program's folder.
// Without a trailing '/'.
std::string dataFilesDir();

// The SMB helper program for a program in executableDir:
// <prefix>/libexec/ormix/ormix-smb for an installed copy, else ormix-smb beside it.
std::string smbHelperPathFor(const std::string& executableDir);

} // namespace ormix

// Choosing the program's own folder: beside the program file when writable
// (a copy unpacked into a user folder), else the user's data folder (an
// installation under /usr).
#include "platform/programdir.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace ormix {
namespace {

namespace fs = std::filesystem;

std::string withSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

fs::path homeDir() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

fs::path userDataDir() {
    // The base directory rules: a relative XDG_DATA_HOME is to be ignored.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return fs::path(xdg) / "ormix";
    return homeDir() / ".local" / "share" / "ormix";
}

} // namespace

std::string programDirFor(const std::string& executableDir) {
    std::error_code ec;
    if (!executableDir.empty() && fs::is_directory(executableDir, ec) &&
        ::access(executableDir.c_str(), W_OK) == 0)
        return withSlash(executableDir);
    const fs::path data = userDataDir();
    fs::create_directories(data, ec); // a failure shows when the file itself is written
    return withSlash(data.string());
}

std::string ProgramDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return programDirFor(ec ? std::string() : exe.parent_path().string());
}

} // namespace ormix

// Choosing the program's folders: beside the program file in a build folder
// or a copy unpacked into a user folder, the XDG folders for an installation.
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

// The base directory rules: a relative XDG_*_HOME is to be ignored.
fs::path xdgHome(const char* variable, const char* fallback) {
    if (const char* xdg = std::getenv(variable); xdg && *xdg == '/')
        return fs::path(xdg) / "ormix";
    return homeDir() / fallback / "ormix";
}

fs::path userDataDir() {
    return xdgHome("XDG_DATA_HOME", ".local/share");
}

std::string createdDir(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec); // a failure shows when a file in it is written
    return withSlash(dir.string());
}

// The folder without a trailing '/', so that its name and parent are the real ones.
fs::path folderPath(const std::string& dir) {
    fs::path p = fs::path(dir).lexically_normal();
    if (p.filename().empty() && p.has_parent_path())
        p = p.parent_path();
    return p;
}

fs::path prefixOf(const std::string& executableDir) {
    return folderPath(executableDir).parent_path();
}

} // namespace

bool runsInstalled(const std::string& executableDir) {
    if (executableDir.empty())
        return false;
    std::error_code ec;
    return folderPath(executableDir).filename() == "bin" &&
           fs::is_regular_file(prefixOf(executableDir) / "share" / "ormix" / kInstalledMarker, ec);
}

std::string executableDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

bool runsInstalled() {
    return runsInstalled(executableDir());
}

std::string programDirFor(const std::string& executableDir) {
    std::error_code ec;
    if (!runsInstalled(executableDir) && !executableDir.empty() && fs::is_directory(executableDir, ec) &&
        ::access(executableDir.c_str(), W_OK) == 0)
        return withSlash(executableDir);
    return createdDir(userDataDir());
}

std::string programDir() {
    return programDirFor(executableDir());
}

std::string configFilePathFor(const std::string& executableDir) {
    if (runsInstalled(executableDir))
        return createdDir(xdgHome("XDG_CONFIG_HOME", ".config")) + "cfg.ini";
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    return (ec ? fs::path(".") : here).string() + "/cfg.ini";
}

std::string configFilePath() {
    return configFilePathFor(executableDir());
}

std::string dataFilesDir() {
    const std::string exeDir = executableDir();
    if (runsInstalled(exeDir))
        return (prefixOf(exeDir) / "share" / "ormix").string();
    return exeDir;
}

std::string smbHelperPathFor(const std::string& executableDir) {
    const std::string dir = executableDir.empty() ? std::string(".") : executableDir;
    if (runsInstalled(dir))
        return (prefixOf(dir) / "libexec" / "ormix" / "ormix-smb").string();
    return (fs::path(dir) / "ormix-smb").string();
}

} // namespace ormix

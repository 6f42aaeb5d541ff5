// Attaching shares under drive letters through GVfs (see netdrive.h).
#include "settings/netdrive.h"

#include "platform/launcher.h"
#include "platform/smbpath.h"
#include "shares/accounts.h"

#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace ormix {
namespace {

// gio mount waits for the server; an unreachable host must not hold the
// window for ever.
constexpr int kMountTimeoutMs = 60000;
constexpr int kInfoTimeoutMs = 30000;

std::string envOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

std::string homeFolder() {
    std::string fallback = "/";
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        fallback = pw->pw_dir;
    return envOr("HOME", fallback);
}

std::string runtimeFolder() {
    return envOr("XDG_RUNTIME_DIR", "/run/user/" + std::to_string(getuid()));
}

std::optional<char> driveLetter(const std::string& localName) {
    if (localName.size() != 2 || localName[1] != ':')
        return std::nullopt;
    const char c = localName[0];
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return c;
    return std::nullopt;
}

bool entryExists(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

// "\\host\share\dir" -> {"host", "share", "dir"}; empty when host or share is missing.
std::vector<std::string> uncComponents(const std::string& unc) {
    std::vector<std::string> parts;
    if (unc.size() < 3 || unc[0] != '\\' || unc[1] != '\\')
        return parts;
    std::string current;
    for (size_t i = 2; i <= unc.size(); ++i) {
        if (i == unc.size() || unc[i] == '\\') {
            if (!current.empty())
                parts.push_back(current);
            else if (parts.size() < 2)
                return {};
            current.clear();
        } else {
            current += unc[i];
        }
    }
    if (parts.size() < 2)
        return {};
    return parts;
}

QString folded(const std::string& text) {
    return QString::fromUtf8(text).toCaseFolded();
}

QString percentDecoded(const QString& text) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

// GVfs names each mounted share's folder "smb-share:server=H,share=S" (more
// keys may follow, values folded to lower case and %-escaped). Compared
// key by key, so neither the letter case nor the escaping has to be guessed.
bool isMountFolderOf(const std::string& entryName, const std::string& host, const std::string& share) {
    const QString name = QString::fromUtf8(entryName);
    const QString prefix = QStringLiteral("smb-share:");
    if (!name.startsWith(prefix))
        return false;
    bool hostSeen = false, shareSeen = false;
    for (const QString& pair : name.mid(prefix.size()).split(u',')) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = pair.left(eq);
        const QString value = percentDecoded(pair.mid(eq + 1)).toCaseFolded();
        if (key == u"server")
            hostSeen = value == folded(host);
        else if (key == u"share")
            shareSeen = value == folded(share);
    }
    return hostSeen && shareSeen;
}

// The folder under which GVfs shows the share's files: the listed mount
// folder when there is one, otherwise the folder GVfs would give it.
fs::path gvfsFolder(const std::vector<std::string>& parts) {
    const fs::path gvfs = fs::path(runtimeFolder()) / "gvfs";
    fs::path folder;
    std::error_code ec;
    for (fs::directory_iterator it(gvfs, ec), end; !ec && it != end; it.increment(ec)) {
        if (isMountFolderOf(it->path().filename().string(), parts[0], parts[1])) {
            folder = it->path();
            break;
        }
    }
    if (folder.empty()) {
        folder = gvfs / ("smb-share:server=" + folded(parts[0]).toStdString() +
                         ",share=" + folded(parts[1]).toStdString());
    }
    for (size_t i = 2; i < parts.size(); ++i)
        folder /= parts[i];
    return folder;
}

// Writes `content` to a temporary file beside `target` and renames it over
// the target, keeping the old file's permissions: the file manager shares
// this file, so it must never be seen half-written.
bool replaceFile(const fs::path& target, const std::string& content) {
    std::string tmpl = (target.parent_path() / (target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(tmpl.data());
    if (fd < 0)
        return false;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        fchmod(fd, st.st_mode & 07777);
    else
        fchmod(fd, 0644);
    size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(tmpl.c_str(), target.c_str()) == 0)
        return true;
    std::remove(tmpl.c_str());
    return false;
}

// Appends `line` to the bookmarks file unless it is already there.
bool addBookmark(const std::string& line) {
    fs::path file = GtkBookmarksFile();
    std::error_code ec;
    // A bookmarks file that is a link (kept with the user's dotfiles) is
    // updated where it points, so the link itself survives.
    if (fs::is_symlink(fs::symlink_status(file, ec))) {
        const fs::path target = fs::canonical(file, ec);
        if (ec)
            return false;
        file = target;
    }
    fs::create_directories(file.parent_path(), ec);
    std::string content;
    if (entryExists(file)) {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            return false;
        std::ostringstream text;
        text << in.rdbuf();
        content = text.str();
    }
    std::istringstream lines(content);
    for (std::string existing; std::getline(lines, existing);) {
        if (existing == line)
            return true;
    }
    if (!content.empty() && content.back() != '\n')
        content += '\n';
    content += line + '\n';
    return replaceFile(file, content);
}

} // namespace

std::string NetDrivesFolder() {
    return (fs::path(homeFolder()) / "NetDrives").string();
}

std::string GtkBookmarksFile() {
    const std::string config = envOr("XDG_CONFIG_HOME", (fs::path(homeFolder()) / ".config").string());
    return (fs::path(config) / "gtk-3.0" / "bookmarks").string();
}

std::vector<std::string> FreeDriveNames() {
    const fs::path folder = NetDrivesFolder();
    std::vector<std::string> names;
    for (char c = 'A'; c <= 'Z'; ++c) {
        if (!entryExists(folder / std::string(1, c)))
            names.push_back(std::string(1, c) + ":");
    }
    return names;
}

namespace {
const std::atomic<bool> kNeverCancelled{false};
}

int MountShare(const std::string& url, const smbproto::JobAuth& auth) {
    return MountShare(url, auth, kNeverCancelled);
}

int MountShare(const std::string& url, const smbproto::JobAuth& auth, const std::atomic<bool>& cancel) {
    const QString gio = QStringLiteral("gio");
    const QString qurl = QString::fromStdString(url);
    // Without an account gio's standard input is empty, so it cannot answer a
    // question for user and password: where the share asks one, "-a" answers it as an anonymous
    // (guest) login, which is what a share open to everyone needs. Without
    // it gio reads the empty input, gives up, and no open share could be
    // attached. A share that refuses guests fails as it did before.
    RunResult mount;
    if (auth.method == smbproto::AuthMethod::Account) {
        // One answer per line: a line break inside one would answer the next question.
        for (const std::string* field : {&auth.user, &auth.domain, &auth.password}) {
            if (field->find_first_of("\r\n") != std::string::npos)
                return NetDriveBadNetPath;
        }
        // gio asks "User", "Domain" and "Password", one line each, only as
        // far as the share needs; an open share asks nothing. A refusal asks
        // again and reads the end of input: one attempt, never a loop.
        QByteArray answers =
            QByteArray::fromStdString(auth.user + "\n" + auth.domain + "\n" + auth.password + "\n");
        mount =
            launcher().runCancellable(gio, {QStringLiteral("mount"), qurl}, answers, kMountTimeoutMs, cancel);
        answers.fill('\0');
    } else {
        mount = launcher().runCancellable(gio, {QStringLiteral("mount"), QStringLiteral("-a"), qurl}, {},
                                          kMountTimeoutMs, cancel);
    }
    if (cancel)
        return NetDriveCancelled;
    if (mount.status == RunResult::Status::FailedToStart)
        return NetDriveNoNetwork;
    // gio refuses to mount what is mounted already; whether that was the
    // reason is asked in a way that does not depend on its message language.
    if (!mount.succeeded() &&
        !launcher()
             .runCancellable(gio, {QStringLiteral("info"), qurl}, {}, kInfoTimeoutMs, cancel)
             .succeeded())
        return cancel ? NetDriveCancelled : NetDriveBadNetPath;
    return cancel ? NetDriveCancelled : NetDriveOk;
}

std::string MountedShareFolder(const std::string& uncPath) {
    const std::vector<std::string> parts = uncComponents(uncPath);
    if (parts.empty())
        return {};
    std::vector<std::string> share(parts.begin(), parts.begin() + 2);
    const fs::path folder = gvfsFolder(share);
    std::error_code ec;
    // Only a folder that the FUSE daemon shows (a directory below its mount) counts.
    if (!fs::is_directory(folder, ec) || !isMountFolderOf(folder.filename().string(), share[0], share[1]))
        return {};
    return folder.string();
}

int MapNetworkDrive(const std::string& localName, const std::string& uncPath) {
    return MapNetworkDrive(localName, uncPath, kNeverCancelled);
}

int MapNetworkDrive(const std::string& localName, const std::string& uncPath,
                    const std::atomic<bool>& cancel) {
    const std::vector<std::string> parts = uncComponents(uncPath);
    return MapNetworkDrive(localName, uncPath,
                           parts.empty() ? smbproto::JobAuth() : processSignIn().preferred(parts[0]), cancel);
}

int MapNetworkDrive(const std::string& localName, const std::string& uncPath, const smbproto::JobAuth& auth) {
    return MapNetworkDrive(localName, uncPath, auth, kNeverCancelled);
}

int MapNetworkDrive(const std::string& localName, const std::string& uncPath, const smbproto::JobAuth& auth,
                    const std::atomic<bool>& cancel) {
    const std::optional<char> letter = driveLetter(localName);
    if (!letter)
        return NetDriveBadDevice;
    const std::vector<std::string> parts = uncComponents(uncPath);
    const std::string url = parts.empty() ? std::string() : uncToSmbUrl(uncPath);
    if (url.empty())
        return NetDriveBadNetName;
    const fs::path link = fs::path(NetDrivesFolder()) / std::string(1, *letter);
    if (entryExists(link))
        return NetDriveAlreadyAssigned;

    // After the mount the attachment is only local files, made at once: a
    // cancel that has not landed by then no longer counts.
    if (const int status = MountShare(url, auth, cancel); status != NetDriveOk)
        return status;

    std::error_code ec;
    fs::create_directories(link.parent_path(), ec);
    fs::create_symlink(gvfsFolder(parts), link, ec);
    if (ec)
        return NetDriveCannotMake;
    if (!addBookmark(url + " " + std::string(1, *letter) + ":")) {
        fs::remove(link, ec);
        return NetDriveBadProfile;
    }
    return NetDriveOk;
}

} // namespace ormix

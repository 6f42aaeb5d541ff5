// Whole-file reads and the atomic file replacement; see atomicfile.h.
#include "platform/atomicfile.h"

#include "platform/fdio.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ormix {
namespace {

namespace fs = std::filesystem;

FileError errorOf(FileError::Kind kind, int code, const std::string& path) {
    return FileError{kind, code, path};
}

FileError errnoError(int code, const std::string& path) {
    if (code == ENOENT || code == ENOTDIR)
        return errorOf(FileError::Kind::NotFound, code, path);
    return errorOf(FileError::Kind::Io, code, path);
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and tells whether the close succeeded (a delayed write error shows here).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// The file a replacement writes: symbolic links are followed so the link
// stays a link and its target gets the new contents.
std::optional<fs::path> resolveTarget(const std::string& path) {
    fs::path p(path);
    for (int hops = 0; hops < 32; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec)))
            return p;
        fs::path next = fs::read_symlink(p, ec);
        if (ec)
            return std::nullopt;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    return std::nullopt;
}

fs::path folderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// ".<name>.<pid>.<16 hex digits>.tmp": unique without asking the folder, and
// the pid tells a later start whether the save that made it is still running.
std::string temporaryPrefix(const fs::path& target) {
    return "." + target.filename().string() + ".";
}

std::string temporaryName(const fs::path& target) {
    static std::atomic<uint64_t> counter{0};
    uint64_t r = 0;
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r))
        r = static_cast<uint64_t>(::time(nullptr)) * 0x9E3779B97F4A7C15ull;
    r ^= counter.fetch_add(1) * 0xBF58476D1CE4E5B9ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(r));
    return temporaryPrefix(target) + std::to_string(::getpid()) + "." + hex + ".tmp";
}

// The pid inside a name made by temporaryName, or 0 when the name is not one.
pid_t temporaryOwner(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || !name.ends_with(".tmp"))
        return 0;
    name.remove_prefix(prefix.size());
    name.remove_suffix(4);
    const size_t dot = name.find('.');
    if (dot == name.npos || name.size() - dot - 1 != 16)
        return 0;
    for (char c : name.substr(dot + 1))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return 0;
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + dot, pid);
    if (ec != std::errc() || end != name.data() + dot || pid <= 0)
        return 0;
    return pid;
}

void syncFolder(const fs::path& dir) {
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace

Result<std::string> readRegularFile(const std::string& path, std::size_t maxSize) {
    // A FIFO opened without O_NONBLOCK waits for a writer; a device may act on
    // open. Look first, then open without blocking and look again at what was opened.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errnoError(errno, path);
    if (!S_ISREG(st.st_mode))
        return errorOf(FileError::Kind::NotRegular, 0, path);
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return errnoError(errno, path);
    if (::fstat(fd.get(), &st) != 0)
        return errnoError(errno, path);
    if (!S_ISREG(st.st_mode))
        return errorOf(FileError::Kind::NotRegular, 0, path);
    if (static_cast<uint64_t>(st.st_size) > maxSize)
        return errorOf(FileError::Kind::TooLarge, 0, path);

    std::string content;
    content.reserve(static_cast<size_t>(st.st_size));
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errnoError(errno, path);
        }
        // The file may grow while it is read.
        if (content.size() + static_cast<size_t>(n) > maxSize)
            return errorOf(FileError::Kind::TooLarge, 0, path);
        content.append(buf, static_cast<size_t>(n));
    }
    return content;
}

namespace {

std::atomic<std::uint64_t>& replacements() {
    static std::atomic<std::uint64_t> count{0};
    return count;
}

} // namespace

Result<void> replaceFile(const std::string& path, std::string_view contents, const ReplaceOptions& options) {
    const auto target = resolveTarget(path);
    if (!target)
        return errorOf(FileError::Kind::Io, ELOOP, path);
    struct stat st {};
    const bool exists = ::stat(target->c_str(), &st) == 0;
    if (exists) {
        // Never rename over a device, a folder or the like, and honour a file
        // made read-only even though its folder would allow the rename.
        if (!S_ISREG(st.st_mode))
            return errorOf(FileError::Kind::NotRegular, 0, path);
        if ((st.st_mode & 0222) == 0 || ::access(target->c_str(), W_OK) != 0)
            return errorOf(FileError::Kind::ReadOnly, 0, path);
    } else if (errno != ENOENT) {
        return errnoError(errno, path);
    }

    const fs::path dir = folderOf(*target);
    std::string tmp;
    int raw = -1;
    for (int attempt = 0; attempt < 8 && raw < 0; ++attempt) {
        tmp = (dir / temporaryName(*target)).string();
        raw =
            ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : options.newFileMode);
        if (raw < 0 && errno != EEXIST)
            return errnoError(errno, path);
    }
    if (raw < 0)
        return errorOf(FileError::Kind::Io, EEXIST, path);
    Fd fd(raw);
    if (exists) {
        ::fchmod(fd.get(), st.st_mode & 07777);
        if (::fchown(fd.get(), st.st_uid, st.st_gid) != 0) {
            // Only a privileged process may hand the file back; the contents matter more.
        }
    }
    int failure = 0;
    if (!writeAll(fd.get(), contents) || ::fsync(fd.get()) != 0)
        failure = errno ? errno : EIO;
    if (!fd.close() && failure == 0)
        failure = errno;
    if (failure == 0 && options.beforeRename)
        options.beforeRename();
    if (failure == 0 && ::rename(tmp.c_str(), target->c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(tmp.c_str());
        return errnoError(failure, path);
    }
    syncFolder(dir);
    replacements().fetch_add(1, std::memory_order_relaxed);
    return {};
}

std::uint64_t replacementsDone() {
    return replacements().load(std::memory_order_relaxed);
}

std::size_t removeStaleTemporaries(const std::string& path) {
    const auto target = resolveTarget(path);
    if (!target)
        return 0;
    const std::string prefix = temporaryPrefix(*target);
    std::size_t removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(*target), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const pid_t owner = temporaryOwner(name, prefix);
        if (owner == 0 || owner == ::getpid())
            continue;
        // EPERM means the process lives (another user's); only ESRCH means gone.
        if (::kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        if (::unlink(it->path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace ormix

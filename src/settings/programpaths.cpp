// Local paths for found files through the GVfs mount (see programpaths.h).
#include "settings/programpaths.h"

#include "platform/smbpath.h"
#include "settings/netdrive.h"
#include "shares/accounts.h"

#include <QObject>

#include <sys/stat.h>

#include <vector>

namespace ormix {
namespace {

// "\\IP\share\a\b" -> {"IP", "share", "a", "b"}; empty unless host and share are there.
std::vector<std::string> components(const std::string& unc) {
    if (unc.size() < 3 || unc[0] != '\\' || unc[1] != '\\')
        return {};
    std::vector<std::string> parts;
    size_t start = 2;
    for (;;) {
        const size_t end = unc.find('\\', start);
        parts.push_back(unc.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (parts.size() < 2 || parts[0].empty() || parts[1].empty())
        return {};
    return parts;
}

bool usableLocalName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string folderOf(const std::string& uncPath) {
    const size_t slash = uncPath.rfind('\\');
    return slash == std::string::npos ? std::string() : uncPath.substr(0, slash);
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

std::string ShareOf(const std::string& uncPath) {
    const std::vector<std::string> parts = components(uncPath);
    if (parts.empty())
        return {};
    return "\\\\" + parts[0] + "\\" + parts[1];
}

std::optional<std::string> LocalPathUnder(const std::string& shareFolder, const std::string& uncPath) {
    const std::vector<std::string> parts = components(uncPath);
    if (parts.empty() || shareFolder.empty())
        return std::nullopt;
    std::string path = shareFolder;
    for (size_t i = 2; i < parts.size(); ++i) {
        if (!usableLocalName(parts[i]))
            return std::nullopt;
        if (path.back() != '/')
            path += '/';
        path += parts[i];
    }
    return path;
}

ShareMountResult GvfsShareMounter::Mount(const std::string& shareUnc, const std::atomic<bool>& cancel) {
    ShareMountResult result;
    const std::vector<std::string> parts = components(shareUnc);
    const std::string url = parts.empty() ? std::string() : uncToSmbUrl(std::string_view(shareUnc));
    if (url.empty()) {
        result.reason = "путь " + shareUnc + " не указывает на сетевой ресурс";
        return result;
    }
    switch (MountShare(url, processSignIn().preferred(parts[0]), cancel)) {
    case NetDriveOk:
        break;
    case NetDriveCancelled:
        result.reason = "подключение ресурса " + shareUnc + " отменено";
        return result;
    case NetDriveNoNetwork:
        result.reason = "не удалось запустить gio, подключение ресурсов рабочего стола (GVfs) недоступно";
        return result;
    default:
        result.reason = "ресурс " + shareUnc + " не подключается (доступ запрещён или компьютер недоступен)";
        return result;
    }
    result.folder = MountedShareFolder(shareUnc);
    if (result.folder.empty())
        result.reason = "ресурс " + shareUnc +
                        " подключён, но его локальная папка не видна (не работает gvfsd-fuse или нет FUSE)";
    return result;
}

ProgramPaths ResolveProgramPaths(const std::string& uncPath, bool wantLocal, ShareMounter& mounter) {
    static const std::atomic<bool> neverCancelled{false};
    return ResolveProgramPaths(uncPath, wantLocal, mounter, neverCancelled);
}

ProgramPaths ResolveProgramPaths(const std::string& uncPath, bool wantLocal, ShareMounter& mounter,
                                 const std::atomic<bool>& cancel) {
    ProgramPaths paths;
    const std::string folder = folderOf(uncPath);
    paths.texts.url = q(uncToSmbUrl(std::string_view(uncPath)));
    paths.texts.unc = q(uncPath);
    paths.texts.prg = paths.texts.url;
    paths.texts.dir = q(uncToSmbUrl(std::string_view(folder)));
    if (!wantLocal)
        return paths;

    const std::string share = ShareOf(uncPath);
    if (share.empty() || share == uncPath) {
        paths.fallbackReason = "путь " + uncPath + " не указывает на файл в сетевом ресурсе";
        return paths;
    }
    // The names are checked before anything is mounted: a name that cannot be
    // a local path needs no mount.
    if (!LocalPathUnder("/", uncPath)) {
        paths.fallbackReason = "имя файла " + uncPath + " нельзя записать как локальный путь";
        return paths;
    }
    const ShareMountResult mount = mounter.Mount(share, cancel);
    if (mount.folder.empty()) {
        paths.fallbackReason = mount.reason;
        return paths;
    }
    const std::optional<std::string> file = LocalPathUnder(mount.folder, uncPath);
    const std::optional<std::string> dir = LocalPathUnder(mount.folder, folder);
    if (!file || !dir || !exists(*file)) {
        paths.fallbackReason = "файл " + uncPath + " не найден в подключённом ресурсе";
        return paths;
    }
    paths.texts.prg = q(*file);
    paths.texts.dir = q(*dir);
    paths.local = true;
    return paths;
}

ProgramPathsJob::~ProgramPathsJob() {
    CancelAndWait();
}

void ProgramPathsJob::CancelAndWait() {
    cancel_ = true;
    Wait();
}

void ProgramPathsJob::Wait() {
    if (thread_.joinable())
        thread_.join();
}

bool ProgramPathsJob::Start(const std::string& uncPath, bool wantLocal, QObject* context,
                            std::function<void(const ProgramPaths&)> done) {
    if (busy_.exchange(true))
        return false;
    Wait(); // the previous request has ended; its thread still has to be joined
    cancel_ = false;
    ShareMounter* mounter = mounter_;
    thread_ = std::thread([this, mounter, uncPath, wantLocal, context, done = std::move(done)] {
        ProgramPaths paths = ResolveProgramPaths(uncPath, wantLocal, *mounter, cancel_);
        busy_ = false; // the next request may start (and join this thread) once this one is told
        if (cancel_)
            return; // given up: the program quits, or the window is going
        QMetaObject::invokeMethod(
            context, [done, paths = std::move(paths)] { done(paths); }, Qt::QueuedConnection);
    });
    return true;
}

} // namespace ormix

#include "shares/helper/searchjobs.h"

#include "platform/fdio.h"
#include "shares/helper/smbsession.h"
#include "shares/helper/treewalk.h"

#include <cerrno>
#include <fcntl.h>
#include <libsmbclient.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ormix::smbhelper {

using smbproto::FrameReader;
using smbproto::FrameWriter;
using smbproto::Kind;

namespace {

constexpr size_t kFlushBytes = 32 * 1024;
constexpr uint16_t kDirectoryAttr = 0x10;

// The share's folders through libsmbclient, for walkTree.
class SmbDirs {
public:
    using Handle = SMBCFILE*;
    explicit SmbDirs(SMBCCTX* ctx) : ctx_(ctx) {}

    // Null when the folder cannot be listed (errno set).
    Handle open(const std::string& url) {
        errno = 0;
        return smbc_getFunctionOpendir(ctx_)(ctx_, url.c_str());
    }
    bool next(Handle dir, DirEntry& e) {
        // The plain "plus" listing already carries name, attributes and size.
        // Its "plus2" form also fills a stat, and for that parses the folder's
        // URL again for every entry: a third of the helper's time on a large share.
        const libsmb_file_info* info = smbc_getFunctionReaddirPlus(ctx_)(ctx_, dir);
        if (!info)
            return false;
        e.name = info->name ? info->name : "";
        e.folder = (info->attrs & kDirectoryAttr) != 0;
        e.size = info->size;
        e.mtime = info->mtime_ts.tv_sec > 0 ? uint64_t(info->mtime_ts.tv_sec) : 0;
        return true;
    }
    void close(Handle dir) { smbc_getFunctionClosedir(ctx_)(ctx_, dir); }

private:
    SMBCCTX* ctx_;
};

void sendEnd(JobChannel& io, int32_t status) {
    io.put(FrameWriter(Kind::End).i32(status).finish());
    io.flush();
}

} // namespace

JobChannel::JobChannel(WriteFn write, smbproto::FrameSplitter& input, int inputFd)
    : write_(write), input_(input), inputFd_(inputFd) {}

JobChannel::~JobChannel() {
    flush();
}

bool JobChannel::put(const std::string& frame) {
    if (gone_)
        return false;
    pending_ += frame;
    return pending_.size() < kFlushBytes || flush();
}

bool JobChannel::flush() {
    if (gone_)
        return false;
    if (!pending_.empty() && !write_(pending_))
        gone_ = true;
    pending_.clear();
    return !gone_;
}

bool JobChannel::stopRequested() {
    if (stop_)
        return true;
    char buf[256];
    for (;;) {
        pollfd p{inputFd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            break;
        const ssize_t n = ::read(inputFd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // The program is gone: nobody wants the rest.
            stop_ = gone_ = true;
            return true;
        }
        input_.feed(buf, static_cast<size_t>(n));
    }
    std::string body;
    // While a job runs the program sends nothing but Stop.
    while (input_.next(body) == smbproto::FrameSplitter::Result::Frame) {
        if (FrameReader(body).kind() == Kind::Stop)
            stop_ = true;
    }
    return stop_;
}

void serveWalkShare(SmbSession& session, FrameReader& job, JobChannel& io) {
    std::string url;
    smbproto::JobAuth auth;
    if (!job.text(url) || !job.auth(auth) || !job.done()) {
        sendEnd(io, smbproto::kStatusOther);
        return;
    }
    int32_t status = smbproto::kStatusOk;
    if (!session.beginJob(auth, status)) {
        sendEnd(io, status);
        return;
    }
    if (url.empty() || url.back() != '/')
        url += '/';
    SMBCCTX* ctx = session.context();
    SmbDirs dirs(ctx);
    SMBCFILE* root = dirs.open(url);
    const int err = errno;
    if (!root) {
        session.endJob();
        sendEnd(io, smbproto::statusFromErrno(err ? err : EIO));
        return;
    }
    const bool complete = walkTree(dirs, io, root, url);
    dirs.close(root);
    if (complete)
        io.put(folderEndFrame());
    session.endJob();
    sendEnd(io, complete ? smbproto::kStatusOk : smbproto::kStatusOther);
}

std::string numberedName(const std::string& path, int n) {
    return smbproto::numberedName(path, n);
}

namespace {

// Creates the target, or the first free numbered name beside it; never
// replaces an existing file.
int createTarget(const std::string& wanted, std::string& used) {
    used = wanted;
    for (int n = 2;; ++n) {
        const int fd = ::open(used.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || n > 100000)
            return fd;
        used = numberedName(wanted, n);
    }
}

} // namespace

void serveCopyFile(SmbSession& session, FrameReader& job, JobChannel& io) {
    std::string url, local;
    smbproto::JobAuth auth;
    if (!job.text(url) || !job.text(local) || !job.auth(auth) || !job.done() || local.empty()) {
        sendEnd(io, smbproto::kStatusOther);
        return;
    }
    int32_t beginStatus = smbproto::kStatusOk;
    if (!session.beginJob(auth, beginStatus)) {
        sendEnd(io, beginStatus);
        return;
    }
    SMBCCTX* ctx = session.context();
    errno = 0;
    SMBCFILE* src = smbc_getFunctionOpen(ctx)(ctx, url.c_str(), O_RDONLY, 0);
    const int err = errno;
    if (!src) {
        session.endJob();
        sendEnd(io, smbproto::statusFromErrno(err ? err : EIO));
        return;
    }
    struct stat st;
    const uint64_t total =
        smbc_getFunctionFstat(ctx)(ctx, src, &st) == 0 && st.st_size > 0 ? uint64_t(st.st_size) : 0;

    std::string used;
    const int fd = createTarget(local, used);
    int32_t status = smbproto::kStatusOk;
    if (fd < 0) {
        status = smbproto::statusFromErrno(errno);
        if (status == smbproto::kStatusOk)
            status = smbproto::kStatusOther;
    } else {
        io.put(FrameWriter(Kind::Target).text(used).finish());
        io.flush();
        std::string buf(64 * 1024, '\0');
        uint64_t done = 0;
        auto readFn = smbc_getFunctionRead(ctx);
        for (;;) {
            if (io.stopRequested()) {
                status = smbproto::kStatusOther;
                break;
            }
            errno = 0;
            const ssize_t n = readFn(ctx, src, buf.data(), buf.size());
            if (n < 0) {
                status = smbproto::statusFromErrno(errno ? errno : EIO);
                if (status == smbproto::kStatusOk)
                    status = smbproto::kStatusOther;
                break;
            }
            if (n == 0)
                break;
            if (!writeAll(fd, std::string_view(buf.data(), static_cast<size_t>(n)))) {
                status = smbproto::kStatusOther;
                break;
            }
            done += static_cast<uint64_t>(n);
            if (!io.put(FrameWriter(Kind::Progress).u64(done).u64(total).finish()) || !io.flush()) {
                status = smbproto::kStatusOther;
                break;
            }
        }
        // What the copy wrote goes again, but only while the name still
        // leads to the file this job created.
        struct stat own {};
        const bool haveOwn = ::fstat(fd, &own) == 0;
        if (::close(fd) != 0 && status == smbproto::kStatusOk)
            status = smbproto::kStatusOther;
        struct stat now {};
        if (status != smbproto::kStatusOk && haveOwn && ::lstat(used.c_str(), &now) == 0 &&
            now.st_dev == own.st_dev && now.st_ino == own.st_ino)
            ::unlink(used.c_str());
    }
    smbc_getFunctionClose(ctx)(ctx, src);
    session.endJob();
    sendEnd(io, status);
}

} // namespace ormix::smbhelper

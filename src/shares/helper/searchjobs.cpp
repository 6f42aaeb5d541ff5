#include "shares/helper/searchjobs.h"

#include "platform/fdio.h"
#include "shares/helper/smbsession.h"

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

enum EntryWhat : uint8_t { EntryFile = 0, EntryFolder = 1, EntryFolderEnd = 2 };

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

std::string encodeComponent(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (unsigned char c : name) {
        if (isUnreserved(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

class Walker {
public:
    Walker(SMBCCTX* ctx, JobChannel& io) : ctx_(ctx), io_(io) {}

    // The share root: false when it cannot be opened (errno set).
    SMBCFILE* open(const std::string& url) {
        errno = 0;
        return smbc_getFunctionOpendir(ctx_)(ctx_, url.c_str());
    }

    // Streams the entries of an open folder and, depth first, of its
    // subfolders. False once the walk must end (Stop, or the program is gone).
    bool walk(SMBCFILE* dir, const std::string& url) {
        // The plain "plus" listing already carries name, attributes and size.
        // Its "plus2" form also fills a stat, and for that parses the folder's
        // URL again for every entry: a third of the helper's time on a large share.
        auto readdir = smbc_getFunctionReaddirPlus(ctx_);
        while (const libsmb_file_info* e = readdir(ctx_, dir)) {
            if ((++entries_ & 31) == 0 && io_.stopRequested())
                return false;
            const std::string name = e->name ? e->name : "";
            if (name.empty() || name == "." || name == "..")
                continue;
            const bool folder = (e->attrs & kDirectoryAttr) != 0;
            const std::string frame = FrameWriter(Kind::Entry)
                                          .u8(folder ? EntryFolder : EntryFile)
                                          .text(name)
                                          .u64(folder ? 0 : e->size)
                                          .u64(e->mtime_ts.tv_sec > 0 ? uint64_t(e->mtime_ts.tv_sec) : 0)
                                          .finish();
            if (frame.empty())
                continue; // a name longer than a frame cannot be real
            if (!io_.put(frame))
                return false;
            if (folder) {
                const std::string sub = url + encodeComponent(name) + "/";
                // Let the program work on what it has while the server lists.
                if (!io_.flush())
                    return false;
                if (SMBCFILE* d = open(sub)) {
                    const bool go = walk(d, sub);
                    smbc_getFunctionClosedir(ctx_)(ctx_, d);
                    if (!go)
                        return false;
                }
                if (!folderEnd())
                    return false;
            }
        }
        return true;
    }

    bool folderEnd() {
        return io_.put(FrameWriter(Kind::Entry).u8(EntryFolderEnd).text("").u64(0).u64(0).finish());
    }

private:
    SMBCCTX* ctx_;
    JobChannel& io_;
    unsigned entries_ = 0;
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
    if (!job.text(url) || !job.done() || !session.context()) {
        sendEnd(io, smbproto::kStatusOther);
        return;
    }
    if (url.empty() || url.back() != '/')
        url += '/';
    SMBCCTX* ctx = session.context();
    Walker walker(ctx, io);
    session.useKerberos(false);
    SMBCFILE* root = walker.open(url);
    int err = errno;
    if (!root && (err == EACCES || err == EPERM) && haveKerberosTicket()) {
        session.useKerberos(true);
        root = walker.open(url);
        err = errno;
    }
    if (!root) {
        session.useKerberos(false);
        sendEnd(io, smbproto::statusFromErrno(err ? err : EIO));
        return;
    }
    const bool complete = walker.walk(root, url);
    smbc_getFunctionClosedir(ctx)(ctx, root);
    if (complete)
        walker.folderEnd();
    session.useKerberos(false);
    smbc_getFunctionPurgeCachedServers(ctx)(ctx);
    sendEnd(io, complete ? smbproto::kStatusOk : smbproto::kStatusOther);
}

std::string numberedName(const std::string& path, int n) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = path.size();
    return path.substr(0, dot) + " (" + std::to_string(n) + ")" + path.substr(dot);
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
    if (!job.text(url) || !job.text(local) || !job.done() || !session.context() || local.empty()) {
        sendEnd(io, smbproto::kStatusOther);
        return;
    }
    SMBCCTX* ctx = session.context();
    session.useKerberos(false);
    errno = 0;
    SMBCFILE* src = smbc_getFunctionOpen(ctx)(ctx, url.c_str(), O_RDONLY, 0);
    int err = errno;
    if (!src && (err == EACCES || err == EPERM) && haveKerberosTicket()) {
        session.useKerberos(true);
        errno = 0;
        src = smbc_getFunctionOpen(ctx)(ctx, url.c_str(), O_RDONLY, 0);
        err = errno;
    }
    if (!src) {
        session.useKerberos(false);
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
        if (::close(fd) != 0 && status == smbproto::kStatusOk)
            status = smbproto::kStatusOther;
        if (status != smbproto::kStatusOk)
            ::unlink(used.c_str());
    }
    smbc_getFunctionClose(ctx)(ctx, src);
    session.useKerberos(false);
    smbc_getFunctionPurgeCachedServers(ctx)(ctx);
    sendEnd(io, status);
}

} // namespace ormix::smbhelper

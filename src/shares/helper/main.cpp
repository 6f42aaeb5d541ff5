// ormix-smb: the SMB helper process. Single-threaded, one libsmbclient
// context, serves the jobs of smbproto.h one after another on stdin/stdout.
// libsmbclient aborts when two threads of one process use it, so ORMIX never
// calls it in its own processes; a crash in here costs one job, not the program.
#include "platform/fdio.h"
#include "shares/helper/searchjobs.h"
#include "shares/helper/smbsession.h"
#include "shares/smbproto.h"

#include <arpa/inet.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace ormix::smbproto;

namespace {

// Frames go out on a private copy of the original stdout; fd 1 itself is
// pointed at stderr so that nothing a library prints can corrupt the stream.
int g_out = STDOUT_FILENO;

bool writeAll(const std::string& bytes) {
    return ormix::writeAll(g_out, bytes);
}

// Blocks until one whole frame body arrived. False on end of input or a
// broken frame: either way the program is gone or confused, so we exit.
bool readFrame(FrameSplitter& splitter, std::string& body) {
    char buf[4096];
    for (;;) {
        switch (splitter.next(body)) {
        case FrameSplitter::Result::Frame:
            return true;
        case FrameSplitter::Result::Bad:
            return false;
        case FrameSplitter::Result::NeedMore:
            break;
        }
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        splitter.feed(buf, static_cast<size_t>(n));
    }
}

bool sendEnd(int32_t status) {
    return writeAll(FrameWriter(Kind::End).i32(status).finish());
}

bool sendShare(const std::string& name, const std::string& comment) {
    const std::string frame = FrameWriter(Kind::Share).text(name).text(comment).finish();
    // A name too long for one frame cannot be a real share; leave it out.
    return frame.empty() || writeAll(frame);
}

// Hosts named "test-..." stand for scripted behaviour, but only when the
// environment asks for it; the pool's tests use them to crash or stall a
// helper in the middle of a job without any network.
bool testHostsEnabled() {
    const char* v = std::getenv("ORMIX_SMB_TEST_HOSTS");
    return v && std::strcmp(v, "1") == 0;
}

bool runTestHost(const std::string& host) {
    if (host.rfind("test-", 0) != 0 || !testHostsEnabled())
        return false;
    if (host.rfind("test-shares-", 0) == 0) {
        const int n = std::atoi(host.c_str() + 12);
        for (int i = 1; i <= n; ++i)
            sendShare("S" + std::to_string(i), "comment\t" + std::to_string(i) + "\n");
        sendEnd(kStatusOk);
        return true;
    }
    sendShare("FIRST", "");
    if (host == "test-crash")
        ::raise(SIGKILL);
    if (host == "test-stall") {
        for (;;)
            ::pause();
    }
    if (host == "test-garbage") {
        writeAll(std::string("\xff\xff\xff\x7f", 4));
        return true;
    }
    if (host == "test-exit")
        std::_Exit(0);
    sendEnd(kStatusOther);
    return true;
}

// "test-login": shares only for the account ormix/secret (domain TEST), so
// the program's sign-in order can be tested without a server.
bool runTestLogin(const std::string& host, const JobAuth& auth) {
    if (host != "test-login" || !testHostsEnabled())
        return false;
    if (auth.method == AuthMethod::Account && auth.domain == "TEST" && auth.user == "ormix" &&
        auth.password == "secret") {
        sendShare("PRIVATE", "");
        sendEnd(kStatusOk);
    } else {
        sendEnd(kStatusAccessDenied);
    }
    return true;
}

void serveListShares(ormix::smbhelper::SmbSession& session, FrameReader& job) {
    std::string host;
    JobAuth auth;
    if (!job.text(host) || !job.auth(auth) || !job.done()) {
        sendEnd(kStatusOther);
        return;
    }
    if (runTestLogin(host, auth) || runTestHost(host))
        return;
    // Only an address may go into the URL: "user@host" or a path would change its meaning.
    in_addr addr;
    if (::inet_pton(AF_INET, host.c_str(), &addr) != 1) {
        sendEnd(kStatusOther);
        return;
    }
    const int32_t status = session.listShares(host, auth, sendShare);
    sendEnd(status);
}

} // namespace

int main() {
    // The program's end closes our input, and that ends us (no parent-death
    // signal: it fires when the spawning *thread* ends, and share workers are
    // short-lived threads). A write to a closed socket must fail, not kill.
    ::signal(SIGPIPE, SIG_IGN);
    g_out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (g_out < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 1;

    ormix::smbhelper::SmbSession session;
    if (!writeAll(FrameWriter(Kind::Hello).u32(kProtocolVersion).finish()))
        return 1;

    FrameSplitter splitter;
    std::string body;
    while (readFrame(splitter, body)) {
        // A job frame may carry a password: nothing of it stays in memory.
        struct Wipe {
            std::string& body;
            FrameSplitter& splitter;
            ~Wipe() {
                wipe(body);
                splitter.wipeConsumed();
            }
        } wipeAfterJob{body, splitter};
        FrameReader job(body);
        switch (job.kind()) {
        case Kind::ListShares:
            serveListShares(session, job);
            break;
        case Kind::WalkShare:
        case Kind::CopyFile: {
            ormix::smbhelper::JobChannel io(writeAll, splitter, STDIN_FILENO);
            if (job.kind() == Kind::WalkShare)
                ormix::smbhelper::serveWalkShare(session, job, io);
            else
                ormix::smbhelper::serveCopyFile(session, job, io);
            break;
        }
        case Kind::Stop:
            break; // nothing is running between jobs
        default:
            sendEnd(kStatusOther);
            break;
        }
    }
    return 0;
}

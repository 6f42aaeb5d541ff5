// Signing in to the real Samba hosts of tools/testlan: CHARLIE refuses
// anonymous users and lets its account list it and open Secret; HOTEL lists to
// anyone but keeps Private for the account. The share listing, the search
// walk, the copy and ormix-cli all go through the same sign-in order, and the
// password shows up nowhere it should not.
#include "fixtures/required.h"
#include "fixtures/testlan.h"
#include "search/smbjobs.h"
#include "shares/sharelist.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

using namespace ormix;
using namespace std::chrono_literals;
using smbproto::AuthMethod;
using smbproto::JobAuth;

namespace {

const char* const kPassword = "Office-2026";
const Account kAccount("OFFICE", "ormixuser", kPassword);

std::unique_ptr<ormix::testing::TestLan> g_lan;
std::string g_skip;

std::string bin(const std::string& prog) {
    return ormix::testing::binDir() + "/" + prog;
}

SmbPoolOptions poolOptions() {
    SmbPoolOptions o;
    o.helperPath = bin("ormix-smb");
    return o;
}

std::vector<std::string> names(const ShareListing& l) {
    std::vector<std::string> out;
    for (const auto& s : l.shares)
        out.push_back(s.name);
    return out;
}

// Every file path a walk of the share yields, "dir/name".
std::vector<std::string> walkFiles(ShareWalker& walker, const std::string& share) {
    std::vector<std::string> files;
    auto walk = walker.Open(share);
    if (!walk)
        return files;
    std::vector<std::string> dirs;
    WalkRecord r;
    while (walk->Next(r)) {
        if (r.kind == WalkRecord::Folder) {
            dirs.push_back(r.name);
        } else if (r.kind == WalkRecord::FolderEnd) {
            if (!dirs.empty())
                dirs.pop_back();
        } else {
            std::string p;
            for (const auto& d : dirs)
                p += d + "/";
            files.push_back(p + r.name);
        }
    }
    return files;
}

// Runs argv (no shell); standard output and error both go to *output.
int run(const std::vector<std::string>& argv, std::string* output) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        output->append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Processes whose command line or environment holds text. Processes come and
// go while we look: one that ended is simply passed over.
std::vector<std::string> processesHolding(const std::string& text) {
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        for (const char* f : {"/cmdline", "/environ"}) {
            const int fd = ::open((it->path().string() + f).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            std::string data;
            char buf[4096];
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
                data.append(buf, static_cast<size_t>(n));
            ::close(fd);
            if (data.find(text) != std::string::npos)
                found.push_back(name + f);
        }
    }
    return found;
}

bool contains(const std::vector<std::string>& v, const std::string& x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

// A private folder with an auth file of the given mode.
struct TempDir {
    std::string path;
    TempDir() {
        char t[] = "/tmp/ormix-acct-XXXXXX";
        path = ::mkdtemp(t);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string authFile(mode_t mode, const std::string& password = kPassword) const {
        const std::string f = path + "/auth";
        std::ofstream(f) << "# test account\nusername = OFFICE\\ormixuser\npassword = " << password << "\n";
        ::chmod(f.c_str(), mode);
        return f;
    }
};

class AccountsLan : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_lan = std::make_unique<ormix::testing::TestLan>("acct-" + std::to_string(::getpid()));
        g_skip = g_lan->upAndEnter();
    }
    static void TearDownTestSuite() { g_lan.reset(); }
    void SetUp() override {
        if (!g_skip.empty())
            ORMIX_SKIP_OR_FAIL(g_skip);
    }
};

} // namespace

TEST_F(AccountsLan, ListingOfCharlie) {
    SmbHelperPool pool(poolOptions());
    EXPECT_EQ(pool.listShares("127.0.0.13").status, 5);
    const ShareListing right =
        pool.listShares("127.0.0.13", JobAuth(AuthMethod::Account, "OFFICE", "ormixuser", kPassword));
    EXPECT_EQ(right.status, 0);
    EXPECT_EQ(names(right), (std::vector<std::string>{"Secret", "IPC$"}));
    // A wrong password is refused, and not turned into an anonymous session.
    EXPECT_EQ(
        pool.listShares("127.0.0.13", JobAuth(AuthMethod::Account, "OFFICE", "ormixuser", "wrong")).status,
        5);
    EXPECT_EQ(
        pool.listShares("127.0.0.17", JobAuth(AuthMethod::Account, "OFFICE", "ormixuser", "wrong")).status,
        5);
    EXPECT_EQ(pool.helpersReplaced(), 0);
}

TEST_F(AccountsLan, WrongPasswordIsTriedOnceInAScan) {
    SmbHelperPool pool(poolOptions());
    AccountBook book;
    book.defaultAccount = Account("OFFICE", "ormixuser", "wrong");
    SignIn signIn(book);
    int accountLogins = 0;
    auto list = [&](const std::string& ip) {
        return signIn.run(ip, [&](const JobAuth& a) {
            accountLogins += a.method == AuthMethod::Account;
            return pool.listShares(ip, a).status;
        });
    };
    for (int round = 0; round < 3; ++round)
        EXPECT_EQ(list("127.0.0.13"), 5);
    EXPECT_EQ(accountLogins, 1);
    // Neither does the search walk try it again.
    HelperShareWalker walker(pool, signIn);
    EXPECT_TRUE(walkFiles(walker, "\\\\127.0.0.13\\Secret\\").empty());
    EXPECT_EQ(accountLogins, 1);
    signIn.newScan();
    EXPECT_EQ(list("127.0.0.13"), 5);
    EXPECT_EQ(accountLogins, 2);
}

TEST_F(AccountsLan, SearchAndCopyWithTheAccount) {
    SmbHelperPool pool(poolOptions());
    AccountBook book;
    book.hosts.push_back({"127.0.0.13", kAccount});
    book.hosts.push_back({"127.0.0.17", kAccount});
    SignIn signIn(book);
    HelperShareWalker walker(pool, signIn);
    const auto secret = walkFiles(walker, "\\\\127.0.0.13\\Secret\\");
    EXPECT_TRUE(contains(secret, "Planning/budget-2026.txt")) << ::testing::PrintToString(secret);
    EXPECT_TRUE(contains(walkFiles(walker, "\\\\127.0.0.17\\Private\\"), "salaries.txt"));
    EXPECT_TRUE(contains(walkFiles(walker, "\\\\127.0.0.17\\Open\\"), "notice.txt"));

    // Without an account HOTEL still shows its open share, not the private one.
    SignIn anonymous;
    HelperShareWalker anonWalker(pool, anonymous);
    EXPECT_TRUE(contains(walkFiles(anonWalker, "\\\\127.0.0.17\\Open\\"), "notice.txt"));
    EXPECT_TRUE(walkFiles(anonWalker, "\\\\127.0.0.17\\Private\\").empty());

    TempDir dir;
    HelperFileCopier copier(pool, signIn);
    const CopyResult r =
        copier.Copy("\\\\127.0.0.13\\Secret\\Planning\\archive.bin", dir.path + "/archive.bin", {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::filesystem::file_size(dir.path + "/archive.bin"), 300000u);
    HelperFileCopier anonCopier(pool, anonymous);
    const CopyResult denied =
        anonCopier.Copy("\\\\127.0.0.13\\Secret\\salaries.txt", dir.path + "/s.txt", {});
    EXPECT_EQ(denied.status, 5);
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/s.txt"));
}

// A helper that had a password in its hands ends with the job: nothing of it
// (our copies or the SMB library's freed buffers) lives on in a reused helper.
TEST_F(AccountsLan, HelperThatHeldAPasswordIsNotReused) {
    SmbHelperPool pool(poolOptions());
    ASSERT_EQ(pool.listShares("127.0.0.17").status, 0);
    EXPECT_EQ(pool.idleHelpers(), 1u); // anonymous: kept for the next job
    ASSERT_EQ(
        pool.listShares("127.0.0.13", JobAuth(AuthMethod::Account, "OFFICE", "ormixuser", kPassword)).status,
        0);
    EXPECT_EQ(pool.idleHelpers(), 0u);
    EXPECT_EQ(pool.helpersStarted(), 1);
    EXPECT_EQ(pool.helpersReplaced(), 0); // retired, not failed
    EXPECT_TRUE(processesHolding(kPassword).empty());
}

TEST_F(AccountsLan, CliAuthFile) {
    TempDir dir;
    std::string out;
    EXPECT_EQ(run({bin("ormix-cli"), "shares", "--auth-file", dir.authFile(0600), "127.0.0.13"}, &out), 0);
    EXPECT_NE(out.find("\\\\127.0.0.13\\Secret\tMembers only"), std::string::npos) << out;

    out.clear();
    EXPECT_EQ(run({bin("ormix-cli"), "search", "--auth-file", dir.authFile(0600), "budget*",
                   "\\\\127.0.0.13\\Secret<>CHARLIE"},
                  &out),
              0);
    EXPECT_NE(out.find("CHARLIE\t\\\\127.0.0.13\\Secret\\Planning\\budget-2026.txt\t7"), std::string::npos)
        << out;

    // Readable by others: refused before any network work, with the reason.
    out.clear();
    const std::string open = dir.authFile(0644);
    EXPECT_EQ(run({bin("ormix-cli"), "shares", "--auth-file", open, "127.0.0.13"}, &out), 2);
    EXPECT_NE(out.find(open + ": other users may read or change it"), std::string::npos) << out;
    EXPECT_EQ(out.find("Secret"), std::string::npos);

    // A wrong password: the usual error line and status.
    out.clear();
    EXPECT_EQ(
        run({bin("ormix-cli"), "shares", "--auth-file", dir.authFile(0600, "wrong"), "127.0.0.13"}, &out), 2);
    EXPECT_NE(out.find("Share Enumerate Error #5 (host \\\\127.0.0.13)"), std::string::npos) << out;
    EXPECT_EQ(out.find("wrong"), std::string::npos) << out;
}

// --user asks for the password on the terminal without echoing it; it never
// reaches the command line or the environment of any process.
TEST_F(AccountsLan, CliPromptsWithoutEcho) {
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const std::string cli = bin("ormix-cli");
        ::execl(cli.c_str(), cli.c_str(), "shares", "--user", "OFFICE\\ormixuser", "127.0.0.13",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string screen;
    std::vector<std::string> holders;
    auto readFor = [&](std::chrono::milliseconds limit, const std::string& until) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (screen.find(until) == std::string::npos && std::chrono::steady_clock::now() < end) {
            // The program and its helpers at work: none shows the password.
            for (auto& h : processesHolding(kPassword))
                holders.push_back(h);
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buf[512];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            screen.append(buf, static_cast<size_t>(n));
        }
    };
    readFor(10s, "Password for OFFICE\\ormixuser: ");
    ASSERT_NE(screen.find("Password for OFFICE\\ormixuser: "), std::string::npos) << screen;
    const std::string line = std::string(kPassword) + "\n";
    ASSERT_EQ(::write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    readFor(20s, "IPC$");
    int status = 0;
    ::waitpid(pid, &status, 0);
    readFor(200ms, "\x01");
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
    EXPECT_NE(screen.find("\\\\127.0.0.13\\Secret"), std::string::npos) << screen;
    EXPECT_EQ(screen.find(kPassword), std::string::npos) << "echoed: " << screen;
    EXPECT_TRUE(holders.empty()) << ::testing::PrintToString(holders);

    // Without a terminal there is nobody to ask: a clear error, no attempt.
    std::string out;
    EXPECT_EQ(run({"setsid", "-w", bin("ormix-cli"), "shares", "--user", "ormixuser", "127.0.0.13"}, &out),
              2);
    EXPECT_NE(out.find("--user needs a terminal to ask for the password"), std::string::npos) << out;
}

// ormix-cli search against the Samba hosts of tools/testlan (an instance of
// its own, removed at the end): the output contract, wildcards, expressions on
// the full path, the size band, Cyrillic names, refused and missing servers,
// and the same answer with one worker or six. The file system under the LAN's
// share folders is the oracle.
#include "fixtures/testlan.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

extern char** environ;

namespace ormix::testing {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<TestLan> g_lan;
std::string g_skip;

struct Output {
    int code = -1;
    std::string out, err;
    std::vector<std::string> lines() const {
        std::vector<std::string> v;
        std::istringstream in(out);
        for (std::string l; std::getline(in, l);)
            v.push_back(l);
        std::sort(v.begin(), v.end());
        return v;
    }
};

// Runs a program (no shell) with both output streams captured.
Output capture(const std::vector<std::string>& argv) {
    Output r;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    ::close(err[1]);
    if (rc == 0) {
        pollfd p[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        std::string* sink[2] = {&r.out, &r.err};
        int open = 2;
        while (open > 0 && ::poll(p, 2, 60000) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP)))
                    continue;
                char buf[8192];
                const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
                if (n > 0) {
                    sink[i]->append(buf, static_cast<size_t>(n));
                } else {
                    p[i].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::close(out[0]);
    ::close(err[0]);
    return r;
}

std::string cli() {
    return binDir() + "/ormix-cli";
}

Output search(std::vector<std::string> args) {
    args.insert(args.begin(), {cli(), "search"});
    return capture(g_lan->inLan(args));
}

// What the search must find: every file under a share folder that passes `keep`,
// as "NAME<TAB>\\IP\share\path<TAB>size" lines.
std::vector<std::string> expected(const std::string& host, const std::string& folder,
                                  const std::string& label, const std::string& share,
                                  const std::function<bool(const fs::path&)>& keep) {
    std::vector<std::string> v;
    const fs::path root = g_lan->folder() + "/data/" + host + "/" + folder;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file() || !keep(e.path()))
            continue;
        std::string rel = fs::relative(e.path(), root).string();
        std::replace(rel.begin(), rel.end(), '/', '\\');
        v.push_back(label + "\t" + share + "\\" + rel + "\t" + std::to_string(fs::file_size(e.path())));
    }
    std::sort(v.begin(), v.end());
    return v;
}

bool endsWithTxt(const fs::path& p) {
    std::string n = p.filename().string();
    std::transform(n.begin(), n.end(), n.begin(), ::tolower);
    return n.size() > 3 && n.compare(n.size() - 3, 3, "txt") == 0;
}

const std::string kPublic = "\\\\127.0.0.11\\Public";
const std::string kArchive = "\\\\127.0.0.12\\Архив";

class CliSearch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_lan = std::make_unique<TestLan>("search-" + std::to_string(::getpid()));
        g_skip = g_lan->up();
    }
    static void TearDownTestSuite() { g_lan.reset(); }
    void SetUp() override {
        if (!g_skip.empty())
            GTEST_SKIP() << g_skip;
    }
};

TEST_F(CliSearch, WildcardPrintsOneLinePerFileAndTheCount) {
    const Output r = search({"*.txt", kPublic});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.lines(), expected("ALPHA", "public", "127.0.0.11", kPublic, endsWithTxt));
    const auto all = expected("ALPHA", "public", "127.0.0.11", kPublic, [](const fs::path&) { return true; });
    EXPECT_EQ(r.err, "examined " + std::to_string(all.size()) + "\n");
}

TEST_F(CliSearch, ExpressionsSeeTheFullPath) {
    const Output r = search({"--regex", "\\\\misc\\\\big_[0-9]+\\.bin$", kPublic + "<>ALPHA"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.lines(), expected("ALPHA", "public", "ALPHA", kPublic, [](const fs::path& p) {
                  return p.parent_path().filename() == "misc" && p.extension() == ".bin";
              }));
    EXPECT_EQ(r.lines().size(), 20u);
    // Plain text is the name alone: a path-shaped text finds nothing.
    EXPECT_TRUE(search({"misc*", kPublic}).out.empty());
}

TEST_F(CliSearch, SizeBandKeepsBothBounds) {
    // big_8.bin is 8 KiB and big_16.bin 16 KiB exactly.
    const Output r = search({"--from", "8", "--to", "16", "*.bin", kPublic});
    EXPECT_EQ(r.lines(), expected("ALPHA", "public", "127.0.0.11", kPublic, [](const fs::path& p) {
                  return p.extension() == ".bin" && fs::file_size(p) >= 8192 && fs::file_size(p) <= 16384;
              }));
    EXPECT_EQ(r.lines().size(), 2u);
    const Output from1 = search({"--from", "1", "*", kPublic});
    EXPECT_EQ(from1.lines(), expected("ALPHA", "public", "127.0.0.11", kPublic,
                                      [](const fs::path& p) { return fs::file_size(p) >= 1024; }));
}

TEST_F(CliSearch, CyrillicNamesFoldCase) {
    const Output r = search({"--regex", "(?i)отчёт", kArchive + "<>BRAVO"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.lines(), expected("BRAVO", "archive", "BRAVO", kArchive, [](const fs::path& p) {
                  return p.filename().string().rfind("Отчёт", 0) == 0;
              }));
    EXPECT_EQ(r.lines().size(), 4u);
    const Output plain = search({"прочти*", kArchive + "<>BRAVO"});
    ASSERT_EQ(plain.lines().size(), 1u);
    EXPECT_NE(plain.lines()[0].find("\\ПРОЧТИ МЕНЯ.txt\t"), std::string::npos);
}

TEST_F(CliSearch, OneWorkerOrSixFindTheSame) {
    const std::vector<std::string> shares = {
        "\\\\127.0.0.11\\Docs<>ALPHA",     kPublic + "<>ALPHA",
        "\\\\127.0.0.11\\C$<>ALPHA",       kArchive + "<>BRAVO",
        "\\\\127.0.0.12\\Music<>BRAVO",
        "\\\\127.0.0.13\\Secret<>CHARLIE", // refuses guests: skipped silently
        "\\\\127.0.0.15\\Nothing<>ECHO",   // no server at all
    };
    std::vector<std::string> one = {"--threads", "1", "*"}, six = {"--threads", "6", "*"};
    one.insert(one.end(), shares.begin(), shares.end());
    six.insert(six.end(), shares.begin(), shares.end());
    const Output a = search(one), b = search(six);
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.lines(), b.lines());
    EXPECT_EQ(a.err, b.err);
    auto all = expected("ALPHA", "public", "ALPHA", kPublic, [](const fs::path&) { return true; });
    for (auto more :
         {expected("ALPHA", "docs", "ALPHA", "\\\\127.0.0.11\\Docs", [](const fs::path&) { return true; }),
          expected("BRAVO", "archive", "BRAVO", kArchive, [](const fs::path&) { return true; })})
        all.insert(all.end(), more.begin(), more.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(a.lines(), all);
    EXPECT_EQ(a.err, "examined " + std::to_string(all.size()) + "\n");
}

// No network needed for these.
TEST(CliSearchArguments, BadExpressionAndUsage) {
    const Output bad = capture({cli(), "search", "--regex", "a)", "\\\\127.0.0.1\\s"});
    EXPECT_EQ(bad.code, 3);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_EQ(bad.err, "error 104 TRegExpr(comp): ParseReg Unmatched () (pos 1)\n");
    // A lone "[" is a bad expression once the plain text is wrapped.
    EXPECT_EQ(capture({cli(), "search", "[", "\\\\127.0.0.1\\s"}).code, 3);
    // The position counts the characters typed, not the wrapped expression's bytes.
    EXPECT_EQ(capture({cli(), "search", "(отчёт", "\\\\127.0.0.1\\s"}).err,
              "error 103 TRegExpr(comp): ParseReg Unmatched () (pos 6)\n");

    EXPECT_EQ(capture({cli(), "search", "*.txt"}).code, 2);
    // Shares as typed are turned down without an address or a share name.
    for (const char* share :
         {"not-a-share", "\\\\127.0.0.1", "\\\\127.0.0.1\\", "\\\\\\s", "\\\\127.0.0.1\\<>NAME"})
        EXPECT_EQ(capture({cli(), "search", "*.txt", share}).code, 2) << share;
    EXPECT_EQ(capture({cli(), "search", "--threads", "x", "*", "\\\\127.0.0.1\\s"}).code, 2);
    const Output blank = capture({cli(), "search", "  ", "\\\\127.0.0.1\\s"});
    EXPECT_EQ(blank.code, 2);
    EXPECT_NE(blank.err.find("Необходимо указать условие поиска"), std::string::npos);
}

// A scripted helper in place of ormix-smb: no network either.
TEST(CliSearchArguments, IncompleteShareIsAnErrorWithStatus2) {
    const char* bin = std::getenv("ORMIX_BIN_DIR");
    ::setenv("ORMIX_SMB_HELPER", (std::string(bin ? bin : ".") + "/scripted-smb-helper").c_str(), 1);
    const Output ok = capture({cli(), "search", "*.txt", "\\\\127.0.0.1\\ok"});
    EXPECT_EQ(ok.code, 0);
    EXPECT_EQ(ok.err, "examined 1\n");

    const Output broken =
        capture({cli(), "search", "*.txt", "\\\\127.0.0.1\\ok", "\\\\127.0.0.1\\dies<>BAD"});
    EXPECT_EQ(broken.code, 2);
    EXPECT_EQ(broken.lines().size(), 3u); // what was found stays in the output
    EXPECT_NE(
        broken.err.find("ormix-cli search: error: walk of \\\\127.0.0.1\\dies\\ (BAD) broke off, results "
                        "incomplete\n"),
        std::string::npos)
        << broken.err;

    const Output deep = capture({cli(), "search", "*.txt", "\\\\127.0.0.1\\deep"});
    EXPECT_EQ(deep.code, 0);
    EXPECT_EQ(deep.lines().size(), 256u);
    EXPECT_NE(deep.err.find("folders deeper than 256 levels left out: \\\\127.0.0.1\\deep\\"),
              std::string::npos)
        << deep.err;
    ::unsetenv("ORMIX_SMB_HELPER");
}

} // namespace
} // namespace ormix::testing

// Share enumeration against the real Samba hosts of tools/testlan (an
// instance of its own, removed again at the end): agreement with smbclient,
// access denied (5), no server (53), a silent server, more than 100 shares,
// Cyrillic names, and the node-status answers the LAN gives.
#include "fixtures/testlan.h"
#include "shares/sharelistworker.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <sstream>

using namespace ormix;
using namespace std::chrono_literals;
using ormix::testing::runCommand;

namespace {

std::unique_ptr<ormix::testing::TestLan> g_lan;
std::string g_skip;

std::string bin(const std::string& prog) {
    return ormix::testing::binDir() + "/" + prog;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

// name TAB comment of every share smbclient lists, in its order.
std::vector<std::string> smbclientShares(const std::string& ip) {
    std::string out;
    runCommand(g_lan->inLan({"smbclient", "-L", "//" + ip, "-N", "-g"}), &out);
    std::vector<std::string> shares;
    for (const auto& l : lines(out)) {
        for (const char* type : {"Disk|", "IPC|", "Printer|"}) {
            if (l.rfind(type, 0) == 0) {
                const std::string rest = l.substr(std::string(type).size());
                const size_t bar = rest.find('|');
                shares.push_back(rest.substr(0, bar) + "\t" +
                                 (bar == std::string::npos ? "" : rest.substr(bar + 1)));
            }
        }
    }
    return shares;
}

class TestLan : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_lan = std::make_unique<ormix::testing::TestLan>("shares-" + std::to_string(::getpid()));
        // This thread, and the helpers it starts, live in the LAN from now on.
        g_skip = g_lan->upAndEnter({.needSmbclient = true});
    }
    static void TearDownTestSuite() { g_lan.reset(); }
    void SetUp() override {
        if (!g_skip.empty())
            GTEST_SKIP() << g_skip;
    }
};

} // namespace

TEST_F(TestLan, CliAgreesWithSmbclient) {
    for (const char* ip : {"127.0.0.11", "127.0.0.12", "127.0.0.14"}) {
        SCOPED_TRACE(ip);
        std::string out;
        EXPECT_EQ(runCommand(g_lan->inLan({bin("ormix-cli"), "shares", ip}), &out), 0);
        std::vector<std::string> ours;
        const std::string prefix = std::string("\\\\") + ip + "\\";
        for (const auto& l : lines(out)) {
            ASSERT_EQ(l.rfind(prefix, 0), 0u) << l;
            ours.push_back(l.substr(prefix.size()));
        }
        const auto theirs = smbclientShares(ip);
        EXPECT_FALSE(theirs.empty());
        EXPECT_EQ(ours, theirs);
    }
}

TEST_F(TestLan, StatusesAndTheirLogLines) {
    SmbPoolOptions o;
    o.helperPath = bin("ormix-smb");
    SmbHelperPool real(o);
    const struct {
        const char* ip;
        int32_t status;
        int32_t count;
    } cases[] = {
        {"127.0.0.13", 5, 0},   // refuses anonymous access
        {"127.0.0.15", 53, 0},  // no SMB server at all
        {"127.0.0.99", 53, 0},  // nobody at that address
        {"127.0.0.14", 0, 120}, // 120 shares and IPC$ (excluded)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ip);
        HostInfo h;
        h.Ip = c.ip;
        std::vector<std::string> log;
        EXPECT_EQ(
            EnumerateShares(h, {"IPC$"}, poolLister(real), [&](const std::string& l) { log.push_back(l); }),
            c.status);
        EXPECT_EQ(h.ShareCount, c.count);
        if (c.status == 0) {
            EXPECT_TRUE(log.empty());
            EXPECT_EQ(h.Shares.back().Path, "\\\\127.0.0.14\\Share120");
            EXPECT_EQ(h.Shares.back().Remark, "Share number 120");
        } else {
            ASSERT_EQ(log.size(), 1u);
            EXPECT_EQ(log[0],
                      "Share Enumerate Error #" + std::to_string(c.status) + " (host \\\\" + c.ip + ")");
        }
    }
}

TEST_F(TestLan, CyrillicSharesFoldForExclusion) {
    SmbPoolOptions o;
    o.helperPath = bin("ormix-smb");
    SmbHelperPool pool(o);
    HostInfo h;
    h.Ip = "127.0.0.12";
    EXPECT_EQ(EnumerateShares(h, {"архив"}, poolLister(pool), nullptr), 0);
    std::vector<std::string> paths;
    for (const auto& s : h.Shares)
        paths.push_back(s.Path);
    EXPECT_EQ(paths, (std::vector<std::string>{"\\\\127.0.0.12\\Music", "\\\\127.0.0.12\\IPC$"}));
}

TEST_F(TestLan, SilentServerIsCutOffAndThePoolGoesOn) {
    // A server that accepts connections and never says a word.
    const int ls = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(ls, 0);
    int one = 1;
    ::setsockopt(ls, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(445);
    a.sin_addr.s_addr = inet_addr("127.0.0.30");
    ASSERT_EQ(::bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(ls, 8), 0);

    SmbPoolOptions o;
    o.helperPath = bin("ormix-smb");
    o.jobTimeout = 1500ms;
    SmbHelperPool pool(o);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(pool.listShares("127.0.0.30").status, 59); // the pool's limit comes first
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
    EXPECT_EQ(pool.listShares("127.0.0.11").status, 0);

    o.jobTimeout = 10s; // now libsmbclient's own 4 s timeout ends the job
    SmbHelperPool patient(o);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(patient.listShares("127.0.0.30").status, 53);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 8s);
    ::close(ls);
}

TEST_F(TestLan, NodeStatusAnswers) {
    std::string out;
    runCommand(g_lan->inLan({"nmblookup", "-A", "127.0.0.12"}), &out);
    EXPECT_NE(out.find("BRAVO"), std::string::npos) << out;
    EXPECT_NE(out.find("TESTLAN"), std::string::npos) << out;
    out.clear();
    runCommand({"/usr/sbin/ip", "netns", "exec", g_lan->nmbNamespace(), "nmblookup", "-A", "127.0.0.21"},
               &out);
    EXPECT_NE(out.find("FOXTROT"), std::string::npos) << out;
    EXPECT_NE(out.find("NMBGROUP"), std::string::npos) << out;
}

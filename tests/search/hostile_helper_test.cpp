// The search and the share listing against a scripted helper that behaves as
// a hostile server or a dying helper would: endless nesting, a walk that
// breaks off or loses its end mark, a flood of shares with long remarks, and
// copies that die or name a target they did not create.
#include "search/smbjobs.h"
#include "search_harness.h"
#include "shares/sharelist.h"
#include "shares/smbpool.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace ormix::testing {
namespace {

SmbPoolOptions scripted(std::vector<std::string> env = {}) {
    const char* bin = std::getenv("ORMIX_BIN_DIR");
    SmbPoolOptions o;
    o.helperPath = std::string(bin ? bin : ".") + "/scripted-smb-helper";
    o.extraEnv = std::move(env);
    o.jobTimeout = std::chrono::seconds(60); // the flood below is large; no timing is tested
    return o;
}

TEST(HostileHelper, WalksThatMisbehave) {
    struct Case {
        const char* share;
        size_t found;
        std::vector<SearchNote> notes;
    } cases[] = {
        {"ok", 1, {}},
        {"denied", 0, {}}, // cannot be listed: an empty share, as before
        {"deep", size_t(kMaxWalkDepth), {SearchNote::TooDeep}},
        {"dies", 2, {SearchNote::Incomplete}},
        {"noend", 1, {SearchNote::Incomplete}},
    };
    SmbHelperPool pool(scripted());
    HelperShareWalker walker(pool);
    for (const Case& c : cases) {
        SearchHarness h;
        h.runner.SetWalker(walker);
        h.search(makeQuery("*.txt", false), std::string("\\\\127.0.0.1\\") + c.share + "<>HOST");
        EXPECT_EQ(h.owner.found.size(), c.found) << c.share;
        std::vector<SearchNote> notes;
        for (const auto& n : h.owner.notes)
            notes.push_back(n.kind);
        EXPECT_EQ(notes, c.notes) << c.share;
        EXPECT_EQ(h.owner.counts.size(), 1u) << c.share;
    }
}

TEST(HostileHelper, ShareFloodIsCappedAndSaysSo) {
    // 200,000 shares, each remark one byte over the bound.
    SmbHelperPool pool(scripted({"SCRIPT_SHARES=200000", "SCRIPT_REMARK=1025"}));
    const ShareListing l = pool.listShares("127.0.0.1");
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.shares.size(), smbproto::kMaxSharesPerHost);
    EXPECT_EQ(l.sharesLeftOut, 200000 - smbproto::kMaxSharesPerHost);
    EXPECT_EQ(l.remarksCut, smbproto::kMaxSharesPerHost);
    EXPECT_EQ(l.shares.back().comment.size(), smbproto::kMaxRemarkBytes);

    HostInfo h;
    h.Ip = "127.0.0.1";
    std::vector<std::string> log;
    EnumerateShares(h, {}, poolLister(pool), [&](const std::string& line) { log.push_back(line); });
    EXPECT_EQ(h.Shares.size(), smbproto::kMaxSharesPerHost);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0],
              "Share list cut: 190000 shares left out (at most 10000 per host, names up to 1024 bytes) "
              "(host \\\\127.0.0.1)");
    EXPECT_EQ(log[1], "Share remarks cut to 1024 bytes: 10000 (host \\\\127.0.0.1)");
}

TEST(HostileHelper, OverlongShareNameIsLeftOut) {
    const std::string longName(smbproto::kMaxShareNameBytes + 1, 'n');
    SmbHelperPool pool(scripted({"SCRIPT_NAMES=ok|" + longName + "|..|a\\b"}));
    HostInfo h;
    h.Ip = "127.0.0.1";
    std::vector<std::string> log;
    EnumerateShares(h, {}, poolLister(pool), [&](const std::string& line) { log.push_back(line); });
    ASSERT_EQ(h.Shares.size(), 1u);
    EXPECT_EQ(h.Shares[0].Path, "\\\\127.0.0.1\\ok");
    EXPECT_EQ(log.size(), 3u); // the two bad names and the cut
}

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(HostileHelper, DyingCopyRemovesOnlyWhatItCreated) {
    char tmpl[] = "/tmp/ormix-copy-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string victim = dir + "/precious.txt";
    std::ofstream(victim) << "keep me";
    const std::string taken = dir + "/report.txt";
    std::ofstream(taken) << "an older copy";

    struct Case {
        const char* what;
        std::vector<std::string> env;
        std::string local; // where the copy is asked to go
        std::string gone;  // removed after the helper died ("" none)
    } cases[] = {
        {"helper names a file it did not create", {"SCRIPT_TARGET=" + victim}, dir + "/new.txt", ""},
        {"helper names the taken target", {"SCRIPT_TARGET=" + taken}, taken, ""},
        {"partial file of the copy itself", {}, dir + "/fresh.txt", dir + "/fresh.txt"},
    };
    for (const Case& c : cases) {
        SmbHelperPool pool(scripted(c.env));
        HelperFileCopier copier(pool);
        const CopyResult r = copier.Copy("\\\\127.0.0.1\\s\\file.txt", c.local, nullptr);
        EXPECT_EQ(r.status, 59) << c.what;
        EXPECT_TRUE(r.finalPath.empty()) << c.what;
        if (!c.gone.empty()) {
            EXPECT_NE(::access(c.gone.c_str(), F_OK), 0) << c.what;
        }
        EXPECT_EQ(slurp(victim), "keep me") << c.what;
        EXPECT_EQ(slurp(taken), "an older copy") << c.what;
    }
    std::system(("rm -rf '" + dir + "'").c_str());
}

} // namespace
} // namespace ormix::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

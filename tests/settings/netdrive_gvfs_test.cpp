// Attaching shares of the test LAN through a real GVfs: a private D-Bus
// session (which starts gvfsd and its FUSE folder) inside the LAN's
// namespace, with HOME and XDG_RUNTIME_DIR in a temporary folder. Skips
// where GVfs, FUSE, root or Samba are missing (fails instead under CI=true).
#include "fixtures/gvfs_session.h"
#include "fixtures/required.h"
#include "fixtures/testlan.h"
#include "settings/netdrive.h"
#include "shares/accounts.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace ormix;

namespace {

std::set<std::string> listing(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.insert(it->path().filename().string());
    return names;
}

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::unique_ptr<ormix::testing::TestLan> g_lan;
std::unique_ptr<ormix::testing::GvfsSession> g_session;
std::string g_skip;

const std::vector<std::string> kMounted = {"smb://127.0.0.11/Public",
                                           "smb://127.0.0.12/%D0%90%D1%80%D1%85%D0%B8%D0%B2",
                                           "smb://127.0.0.13/Secret", "smb://127.0.0.17/Open"};

class RealGvfs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_skip = ormix::testing::missingGvfsPart();
        if (!g_skip.empty())
            return;
        g_lan = std::make_unique<ormix::testing::TestLan>("gvfs-" + std::to_string(::getpid()));
        // This thread, the bus it starts and the GVfs daemons live in the LAN.
        g_skip = g_lan->upAndEnter();
        if (!g_skip.empty())
            return;
        g_session = std::make_unique<ormix::testing::GvfsSession>();
        g_skip = g_session->start();
    }
    static void TearDownTestSuite() {
        if (g_session)
            g_session->stop(kMounted);
        g_session.reset();
        g_lan.reset();
    }
    void SetUp() override {
        if (!g_skip.empty())
            ORMIX_SKIP_OR_FAIL(g_skip);
    }

    static fs::path link(char letter) {
        return fs::path(g_session->home) / "NetDrives" / std::string(1, letter);
    }
    static std::string bookmarks() {
        return fileText(fs::path(g_session->home) / ".config/gtk-3.0/bookmarks");
    }
};

} // namespace

// An anonymous share: mounted without any question, the letter's link shows
// the share's files and the bookmark names the share.
TEST_F(RealGvfs, AnonymousShareIsAttachedAndItsFilesShow) {
    ASSERT_EQ(MapNetworkDrive("e:", R"(\\127.0.0.11\Public)"), NetDriveOk);
    ASSERT_TRUE(fs::is_symlink(link('E')));
    EXPECT_TRUE(fs::is_directory(link('E')));
    const std::set<std::string> names = listing(link('E'));
    for (const char* name : {"readme.txt", "projects", "reports", "archive", "photos"})
        EXPECT_TRUE(names.count(name)) << name;
    EXPECT_EQ(fileText(link('E') / "readme.txt"), "hello\n");
    EXPECT_NE(bookmarks().find("smb://127.0.0.11/Public E:\n"), std::string::npos) << bookmarks();

    // The same share again under another letter: already mounted is attached.
    ASSERT_EQ(MapNetworkDrive("G:", R"(\\127.0.0.11\Public)"), NetDriveOk);
    EXPECT_EQ(listing(link('G')), names);
}

// A Cyrillic share name (GVfs names its folder in lower case, unescaped) and
// a sub-folder of it.
TEST_F(RealGvfs, CyrillicShareAndSubFolder) {
    ASSERT_EQ(MapNetworkDrive("f:", "\\\\127.0.0.12\\Архив\\Отчёты"), NetDriveOk);
    EXPECT_TRUE(listing(link('F')).count("Отчёт за 2021 год.txt"));
    EXPECT_NE(bookmarks().find("smb://127.0.0.12/%D0%90%D1%80%D1%85%D0%B8%D0%B2/"
                               "%D0%9E%D1%82%D1%87%D1%91%D1%82%D1%8B F:\n"),
              std::string::npos)
        << bookmarks();
}

// Refusals come back promptly as failures and leave nothing behind.
TEST_F(RealGvfs, RefusedSharesLeaveNothing) {
    struct Case {
        const char* path;
        char letter;
    };
    for (const Case& c :
         {Case{R"(\\127.0.0.13\Secret)", 'H'}, // no anonymous access
          Case{R"(\\127.0.0.11\NoSuchShare)", 'I'}, Case{R"(\\127.0.0.15\Data)", 'J'}}) { // no SMB server
        SCOPED_TRACE(c.path);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(MapNetworkDrive(std::string(1, c.letter) + ":", c.path), NetDriveBadNetPath);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_FALSE(fs::exists(fs::symlink_status(link(c.letter))));
        EXPECT_EQ(bookmarks().find(std::string(" ") + c.letter + ":"), std::string::npos);
    }
}

// A share only an account may open: attached with the account the sign-in
// memory holds for the host, its answers given on gio's standard input. A
// wrong password is one refused attempt that leaves nothing behind.
TEST_F(RealGvfs, PrivateShareWithTheAccount) {
    using smbproto::AuthMethod;
    using smbproto::JobAuth;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MapNetworkDrive("L:", R"(\\127.0.0.17\Private)",
                              JobAuth(AuthMethod::Account, "OFFICE", "ormixuser", "wrong")),
              NetDriveBadNetPath);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link('L'))));

    processSignIn().setHostAccount("127.0.0.13", Account("OFFICE", "ormixuser", "Office-2026"));
    ASSERT_EQ(MapNetworkDrive("K:", R"(\\127.0.0.13\Secret)"), NetDriveOk);
    const std::set<std::string> names = listing(link('K'));
    EXPECT_TRUE(names.count("salaries.txt") && names.count("Planning")) << ::testing::PrintToString(names);
    EXPECT_EQ(fileText(link('K') / "salaries.txt"), "salaries\n");
    EXPECT_NE(bookmarks().find("smb://127.0.0.13/Secret K:\n"), std::string::npos) << bookmarks();
    EXPECT_EQ(bookmarks().find("Office-2026"), std::string::npos);
    processSignIn().setBook({});

    // An open share still attaches when an account is at hand.
    EXPECT_EQ(MapNetworkDrive("M:", R"(\\127.0.0.17\Open)",
                              JobAuth(AuthMethod::Account, "OFFICE", "ormixuser", "Office-2026")),
              NetDriveOk);
    EXPECT_TRUE(listing(link('M')).count("notice.txt"));
}

// Accounts kept between runs: names in cfg.ini, passwords in a real Secret
// Service keyring (a private gnome-keyring-daemon, see with-keyring.sh), found
// again by the loader the windows use and by ormix-cli; and the session-only
// path when no keyring answers.
#include "fixtures/required.h"
#include "fixtures/testlan.h"
#include "settings/accountstore.h"
#include "settings/keyring.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace ormix;

namespace {

const char* const kPassword = "Office-2026";

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

struct TempDir {
    std::string path;
    TempDir() {
        char t[] = "/tmp/ormix-keyring-test-XXXXXX";
        path = ::mkdtemp(t);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

AccountBook charlieBook() {
    AccountBook b;
    b.defaultAccount = Account("", "guest2", "default-pw");
    b.hosts.push_back({"127.0.0.13", Account("OFFICE", "ormixuser", kPassword)});
    return b;
}

// Runs ormix-cli in folder (no shell); standard output into *out.
int runCli(const std::string& folder, const std::vector<std::string>& args, std::string* out) {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        const std::string cli = ormix::testing::binDir() + "/ormix-cli";
        std::vector<char*> argv{const_cast<char*>(cli.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(cli.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        out->append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(Keyring, PasswordsGoToTheKeyringAndComeBack) {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        ORMIX_SKIP_OR_FAIL("no D-Bus session (run through with-keyring.sh)");
    TempDir dir;
    ConfigFile cfg(dir.path + "/cfg.ini");
    cfg.WriteText("main", "iprange", "127.0.0.10-16");
    const AccountsSaved saved = saveAccounts(cfg, charlieBook(), {}, true);
    EXPECT_FALSE(saved.sessionOnly);

    const std::string text = fileText(cfg.Path());
    EXPECT_NE(text.find("[accounts]"), std::string::npos) << text;
    EXPECT_NE(text.find("127.0.0.13=OFFICE\\ormixuser"), std::string::npos) << text;
    EXPECT_NE(text.find("iprange=127.0.0.10-16"), std::string::npos) << text;
    EXPECT_EQ(text.find(kPassword), std::string::npos) << text;
    EXPECT_EQ(text.find("default-pw"), std::string::npos) << text;

    const AccountsLoaded loaded = loadAccounts(cfg, true);
    EXPECT_TRUE(loaded.keyringReachable);
    EXPECT_EQ(loaded.passwordsMissing, 0);
    EXPECT_EQ(loaded.book.defaultAccount.password, "default-pw");
    ASSERT_EQ(loaded.book.hosts.size(), 1u);
    EXPECT_EQ(loaded.book.hosts[0].account.displayName(), "OFFICE\\ormixuser");
    EXPECT_EQ(loaded.book.hosts[0].account.password, kPassword);

    // ormix-cli in that folder signs in to CHARLIE with the keyring's password.
    ormix::testing::TestLan lan("keyring-" + std::to_string(::getpid()));
    const std::string why = lan.upAndEnter();
    if (!why.empty())
        ORMIX_SKIP_OR_FAIL(why);
    std::string out;
    EXPECT_EQ(runCli(dir.path, {"shares", "127.0.0.13"}, &out), 0);
    EXPECT_NE(out.find("\\\\127.0.0.13\\Secret"), std::string::npos) << out;
    lan.down();

    // Not remembered any more: the entries leave the keyring, the names stay.
    saveAccounts(cfg, charlieBook(), charlieBook(), false);
    const AccountsLoaded forgotten = loadAccounts(cfg, true);
    EXPECT_EQ(forgotten.passwordsMissing, 2);
    EXPECT_EQ(forgotten.book.hosts.size(), 1u);
    std::string pw;
    EXPECT_EQ(keyring::read(accountKeyringKey("127.0.0.13", charlieBook().hosts[0].account), pw),
              keyring::Result::NotFound);
}

// Started with a session bus address that leads nowhere: no keyring at all.
TEST(NoKeyring, PasswordsStayForTheSessionOnly) {
    TempDir dir;
    TempDir home;
    ::setenv("HOME", home.path.c_str(), 1);
    ConfigFile cfg(dir.path + "/cfg.ini");
    const AccountsSaved saved = saveAccounts(cfg, charlieBook(), {}, true);
    EXPECT_TRUE(saved.sessionOnly);
    const std::string text = fileText(cfg.Path());
    EXPECT_NE(text.find("127.0.0.13=OFFICE\\ormixuser"), std::string::npos) << text;
    EXPECT_EQ(text.find(kPassword), std::string::npos) << text;
    // Nothing else took the password either (no plain-text fallback in HOME).
    for (const auto& e : std::filesystem::recursive_directory_iterator(home.path)) {
        if (e.is_regular_file()) {
            EXPECT_EQ(fileText(e.path()).find(kPassword), std::string::npos) << e.path();
        }
    }
    const AccountsLoaded loaded = loadAccounts(cfg, true);
    EXPECT_FALSE(loaded.keyringReachable);
    EXPECT_EQ(loaded.passwordsMissing, 2);
    EXPECT_EQ(loaded.book.hosts[0].account.user, "ormixuser");
    EXPECT_TRUE(loaded.book.hosts[0].account.passwordMissing); // shown, kept, never tried
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

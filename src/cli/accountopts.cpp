// Account options of the command line (see accountopts.h).
#include "cli/accountopts.h"

#include "settings/accountstore.h"
#include "settings/authfile.h"
#include "shares/accounts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace ormix::cli {

OptionResult takeAccountOption(int argc, char** argv, int& i, AccountOptions& options) {
    const std::string a = argv[i];
    if (a != "--auth-file" && a != "--user")
        return OptionResult::NotMine;
    if (i + 1 >= argc || !*argv[i + 1])
        return OptionResult::Bad;
    (a == "--user" ? options.user : options.authFile) = argv[++i];
    return OptionResult::Taken;
}

bool promptPassword(const std::string& prompt, std::string& password) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    termios old{};
    const bool isTerminal = ::tcgetattr(fd, &old) == 0;
    if (!isTerminal) {
        ::close(fd);
        return false;
    }
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    ssize_t ignored = ::write(fd, prompt.data(), prompt.size());
    password.clear();
    char c;
    constexpr size_t kMaxPassword = 1024;
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = !password.empty();
            break;
        }
        if (c == '\n' || c == '\r')
            break;
        if (password.size() < kMaxPassword)
            password.push_back(c);
    }
    c = 0;
    ::tcsetattr(fd, TCSAFLUSH, &old);
    ignored = ::write(fd, "\n", 1);
    (void)ignored;
    ::close(fd);
    return ok;
}

bool applyAccountOptions(const AccountOptions& options, const char* command) {
    AccountBook book;
    if (!options.authFile.empty() && !options.user.empty()) {
        std::fprintf(stderr, "ormix-cli %s: give either --auth-file or --user, not both\n", command);
        return false;
    }
    if (!options.authFile.empty()) {
        std::string error;
        if (!readAuthFile(options.authFile, book.defaultAccount, error)) {
            std::fprintf(stderr, "ormix-cli %s: %s\n", command, error.c_str());
            return false;
        }
    } else if (!options.user.empty()) {
        Account& a = book.defaultAccount;
        splitAccountName(options.user, a.domain, a.user);
        if (a.user.empty()) {
            std::fprintf(stderr, "ormix-cli %s: --user needs a user name\n", command);
            return false;
        }
        if (!promptPassword("Password for " + a.displayName() + ": ", a.password)) {
            std::fprintf(stderr, "ormix-cli %s: --user needs a terminal to ask for the password\n", command);
            return false;
        }
    } else {
        const ConfigFile config("cfg.ini");
        std::vector<std::string> keys;
        config.ListKeys(kAccountsSection, keys);
        if (keys.empty())
            return true;
        AccountsLoaded loaded = loadAccounts(config, true);
        if (loaded.passwordsMissing > 0)
            std::fprintf(
                stderr,
                "ormix-cli %s: %d account(s) of cfg.ini have no password in the keyring%s and are not "
                "used; give --auth-file or --user\n",
                command, loaded.passwordsMissing,
                loaded.keyringReachable ? "" : " (no keyring is reachable)");
        book = std::move(loaded.book);
    }
    processSignIn().setBook(std::move(book));
    return true;
}

} // namespace ormix::cli

// Accounts for computers that refuse anonymous users, and the order in which
// a job signs in to a host: the host's own account, the default account,
// anonymous, the user's Kerberos ticket. The first that works is remembered
// for the rest of the run; a refused account is never tried again on the same
// host in the same scan (servers lock accounts out after a few bad passwords).
// No Qt, no I/O. Tests: tests/shares/accounts_test.cpp.
#pragma once

#include "shares/smbproto.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ormix {

struct Account {
    std::string domain;
    std::string user; // empty: no account
    std::string password;
    // The password was kept but could not be read (no keyring): the account
    // is shown and kept, but never tried, since an empty password would be a
    // failed login on the server.
    bool passwordMissing = false;

    Account() = default;
    Account(std::string d, std::string u, std::string p)
        : domain(std::move(d)), user(std::move(u)), password(std::move(p)) {}
    Account(const Account&) = default;
    Account& operator=(const Account& other);
    ~Account();

    bool isSet() const { return !user.empty(); }
    // "DOMAIN\user", or "user" without a domain.
    std::string displayName() const;
};

// "[DOMAIN\]USER" (a "/" is accepted too) into its parts.
void splitAccountName(const std::string& text, std::string& domain, std::string& user);

struct HostAccount {
    std::string host; // an IPv4 address or a NetBIOS name
    Account account;
};

struct AccountBook {
    Account defaultAccount;
    std::vector<HostAccount> hosts;

    // The account of the host: by address first, then by NetBIOS name
    // (without regard to letter case). Null when it has none.
    const Account* ownAccount(const std::string& ip, const std::string& name) const;
};

// The sign-in memory of one run of the program, shared by every job
// (listing, search walk, copy, drive). Thread-safe.
class SignIn {
public:
    SignIn() = default;
    explicit SignIn(AccountBook book) : book_(std::move(book)) {}

    // A new book (the accounts window saved): forgets refusals, keeps nothing
    // remembered for accounts that changed.
    void setBook(AccountBook book);
    AccountBook book() const;
    // Puts the host's own account in the book (replacing one with the same
    // host) and lets it be tried at once.
    void setHostAccount(const std::string& host, const Account& account);

    // The NetBIOS name the scan found at ip, for accounts kept by name.
    void noteName(const std::string& ip, const std::string& name);
    // A new scan: refused accounts may be tried once more.
    void newScan();

    // Runs attempt once per way of signing in, in order, until one is not
    // refused (status other than 5). A status other than 0 and 5 (the host
    // cannot be reached) ends the attempts at once. Returns the last status.
    int32_t run(const std::string& ip, const std::function<int32_t(const smbproto::JobAuth&)>& attempt);

    // The account a job that cannot try several (a drive attach) should use:
    // the one that worked on the host, else its own or the default account
    // unless refused in this scan. Anonymous when none.
    smbproto::JobAuth preferred(const std::string& ip) const;

    // Whether an anonymous listing or walk of the host was refused.
    bool anonymousRefused(const std::string& ip) const;

private:
    struct HostState {
        std::string name;
        std::optional<std::string> worked; // key of the way that worked
        std::set<std::string> everWorked;
        std::set<std::string> refused; // accounts refused in this scan
        bool anonymousRefused = false;
    };
    std::vector<smbproto::JobAuth> order(const std::string& ip, const HostState& st) const;

    mutable std::mutex mutex_;
    AccountBook book_;
    std::map<std::string, HostState> hosts_;
};

// The program's one sign-in memory (the command line and the windows fill its book).
SignIn& processSignIn();

} // namespace ormix

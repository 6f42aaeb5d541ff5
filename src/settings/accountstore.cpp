// Accounts in cfg.ini and the keyring (see accountstore.h).
#include "settings/accountstore.h"

#include "settings/keyring.h"

#include <set>
#include <vector>

namespace ormix {

std::string accountKeyringKey(const std::string& host, const Account& account) {
    return "smb-account " + host + " " + account.displayName();
}

namespace {

void fillPassword(const std::string& host, Account& a, bool& reachable, int& missing) {
    const keyring::Result r =
        reachable ? keyring::read(accountKeyringKey(host, a), a.password) : keyring::Result::Unavailable;
    if (r == keyring::Result::Ok)
        return;
    if (r == keyring::Result::Unavailable)
        reachable = false;
    a.passwordMissing = true;
    ++missing;
}

std::vector<std::pair<std::string, const Account*>> entries(const AccountBook& book) {
    std::vector<std::pair<std::string, const Account*>> out;
    if (book.defaultAccount.isSet())
        out.emplace_back(kDefaultAccountKey, &book.defaultAccount);
    for (const auto& h : book.hosts) {
        if (h.account.isSet() && !h.host.empty())
            out.emplace_back(h.host, &h.account);
    }
    return out;
}

} // namespace

AccountsLoaded loadAccounts(const ConfigFile& config, bool useKeyring) {
    AccountsLoaded out;
    out.keyringReachable = useKeyring;
    std::vector<std::string> keys;
    config.ListKeys(kAccountsSection, keys);
    for (const auto& key : keys) {
        Account a;
        splitAccountName(config.ReadText(kAccountsSection, key, ""), a.domain, a.user);
        if (!a.isSet())
            continue;
        fillPassword(key, a, out.keyringReachable, out.passwordsMissing);
        if (key == kDefaultAccountKey)
            out.book.defaultAccount = a;
        else
            out.book.hosts.push_back({key, a});
    }
    if (!useKeyring)
        out.keyringReachable = false;
    return out;
}

AccountsSaved saveAccounts(ConfigFile& config, const AccountBook& book, const AccountBook& previous,
                           bool rememberPasswords) {
    AccountsSaved out;
    const auto now = entries(book);
    config.ClearSection(kAccountsSection);
    for (const auto& [host, a] : now)
        config.WriteText(kAccountsSection, host, a->displayName());

    std::set<std::string> kept;
    bool reachable = true;
    for (const auto& [host, a] : now) {
        const std::string key = accountKeyringKey(host, *a);
        if (!rememberPasswords || a->password.empty())
            continue;
        kept.insert(key);
        if (!reachable || keyring::write(key, a->password) != keyring::Result::Ok) {
            reachable = false;
            out.sessionOnly = true;
        }
    }
    // Entries of accounts that are gone or renamed, or not to be remembered.
    for (const auto& [host, a] : entries(previous)) {
        const std::string key = accountKeyringKey(host, *a);
        if (!kept.count(key) && reachable)
            keyring::remove(key);
    }
    if (!rememberPasswords) {
        for (const auto& [host, a] : now) {
            if (reachable && keyring::remove(accountKeyringKey(host, *a)) == keyring::Result::Unavailable)
                reachable = false;
        }
    }
    return out;
}

} // namespace ormix

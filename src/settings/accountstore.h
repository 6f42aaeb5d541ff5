// Where accounts are kept: user and domain names in cfg.ini, section
// "accounts" (key "*" for the default account, otherwise the host's address
// or NetBIOS name; value "DOMAIN\user"), passwords only in the desktop
// keyring. Without a keyring the passwords live in memory for the session.
// Tests: tests/settings/accountstore_test.cpp.
#pragma once

#include "settings/configfile.h"
#include "shares/accounts.h"

#include <string>

namespace ormix {

inline constexpr const char* kAccountsSection = "accounts";
inline constexpr const char* kDefaultAccountKey = "*";

// The keyring entry of the account kept under `host` ("*" for the default).
std::string accountKeyringKey(const std::string& host, const Account& account);

struct AccountsLoaded {
    AccountBook book;
    bool keyringReachable = true;
    int passwordsMissing = 0; // accounts whose password the keyring did not have
};

// Names from cfg.ini; passwords from the keyring when useKeyring (else empty).
AccountsLoaded loadAccounts(const ConfigFile& config, bool useKeyring);

struct AccountsSaved {
    bool sessionOnly = false; // some password could not go into the keyring
};

// Writes the names of book to cfg.ini (replacing the section), stores the
// passwords of the accounts in the keyring when rememberPasswords (else, and
// for accounts that lost their entry, removes them from it). Throws
// ConfigWriteError like every cfg.ini write.
AccountsSaved saveAccounts(ConfigFile& config, const AccountBook& book, const AccountBook& previous,
                           bool rememberPasswords);

// The one message that says passwords are kept for this session only.
inline constexpr const char* kSessionOnlyMessage =
    "Хранилище паролей рабочего стола недоступно. Пароли учётных записей будут храниться только до "
    "выхода из программы.";

} // namespace ormix

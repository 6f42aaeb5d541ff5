// "Учётные записи": the default account and the accounts of single computers
// (by IP address or NetBIOS name). Saving writes the names to cfg.ini and the
// passwords to the desktop keyring, and the accounts take effect at once.
// Also the start-up loading of the accounts and the one session-only notice.
// Tests: tests/gui/accountswindows_test.cpp.
#pragma once

#include "shares/accounts.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QTreeWidget;
class QToolButton;

namespace ormix {

class ConfigFile;

// Loads the accounts of cfg.ini with their keyring passwords into the
// program's sign-in memory. Tells once when the keyring is unreachable.
void LoadSessionAccounts(const ConfigFile& config, QWidget* parent);

// Keeps book (after a window changed it) in cfg.ini and the keyring, and in
// the sign-in memory. False, after telling the user, when cfg.ini could not
// be written; the accounts are in effect for the session either way.
bool StoreAccounts(ConfigFile& config, const AccountBook& book, bool rememberPasswords, QWidget* parent);

// Shown at most once per run.
void TellSessionOnlyOnce(QWidget* parent);

// Edits one account: the computer (unless forDefault), domain, user, password.
class AccountDialog : public QDialog {
    Q_OBJECT
public:
    AccountDialog(const HostAccount& start, QWidget* parent = nullptr);
    HostAccount value() const;

    QLineEdit* Host = nullptr;
    QLineEdit* Domain = nullptr;
    QLineEdit* User = nullptr;
    QLineEdit* Password = nullptr;
};

class AccountsWindow : public QDialog {
    Q_OBJECT
public:
    AccountsWindow(ConfigFile& config, QWidget* parent = nullptr);

    QLineEdit* DefaultDomain = nullptr;
    QLineEdit* DefaultUser = nullptr;
    QLineEdit* DefaultPassword = nullptr;
    QTreeWidget* HostList = nullptr;
    QToolButton* AddButton = nullptr;
    QToolButton* ChangeButton = nullptr;
    QToolButton* DeleteButton = nullptr;
    QCheckBox* RememberPasswords = nullptr;

    // The book as the window shows it.
    AccountBook book() const;
    // Adds or replaces the entry of entry.host (the add and change dialogs end here).
    void putHostAccount(const HostAccount& entry);
    void deleteCurrent();
    // Saves and closes; stays open when cfg.ini could not be written.
    void save();

private:
    void editCurrent();
    void addAccount();

    ConfigFile& config_;
    AccountBook loaded_;
    std::vector<HostAccount> hosts_;
    void refreshList();
};

} // namespace ormix

// The accounts window and the account dialog (see accountswindow.h).
#include "gui/accountswindow.h"
#include "gui/application.h"
#include "gui/widgets.h"

#include "settings/accountstore.h"
#include "settings/configfile.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace ormix {

namespace {

bool g_sessionOnlyTold = false;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string s(const QLineEdit* e) {
    return e->text().trimmed().toStdString();
}

} // namespace

void TellSessionOnlyOnce(QWidget* parent) {
    if (g_sessionOnlyTold)
        return;
    g_sessionOnlyTold = true;
    QMessageBox::information(parent, MessageBoxTitle(), QString::fromUtf8(kSessionOnlyMessage));
}

void LoadSessionAccounts(const ConfigFile& config, QWidget* parent) {
    std::vector<std::string> keys;
    config.ListKeys(kAccountsSection, keys);
    if (keys.empty())
        return;
    AccountsLoaded loaded = loadAccounts(config, true);
    processSignIn().setBook(std::move(loaded.book));
    if (!loaded.keyringReachable)
        TellSessionOnlyOnce(parent);
}

bool StoreAccounts(ConfigFile& config, const AccountBook& book, bool rememberPasswords, QWidget* parent) {
    const AccountBook previous = processSignIn().book();
    processSignIn().setBook(book);
    try {
        const AccountsSaved saved = saveAccounts(config, book, previous, rememberPasswords);
        if (saved.sessionOnly)
            TellSessionOnlyOnce(parent);
    } catch (const ConfigWriteError& e) {
        QMessageBox::warning(
            parent, MessageBoxTitle(),
            QStringLiteral("Не удалось сохранить учётные записи: %1. До выхода из программы они "
                           "действуют и так.")
                .arg(QString::fromUtf8(e.what())));
        return false;
    }
    return true;
}

AccountDialog::AccountDialog(const HostAccount& start, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AccountDialog"));
    setWindowTitle(QStringLiteral("Учётная запись компьютера"));
    auto* form = new QFormLayout(this);
    Host = textField(this, "Host");
    Domain = textField(this, "Domain");
    User = textField(this, "User");
    Password = passwordField(this, "Password");
    Host->setText(q(start.host));
    Domain->setText(q(start.account.domain));
    User->setText(q(start.account.user));
    Password->setText(q(start.account.password));
    form->addRow(QStringLiteral("Компьютер (IP-адрес или имя)"), Host);
    form->addRow(QStringLiteral("Домен"), Domain);
    form->addRow(QStringLiteral("Пользователь"), User);
    form->addRow(QStringLiteral("Пароль"), Password);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (s(Host).empty() || s(User).empty()) {
            QMessageBox::warning(this, MessageBoxTitle(),
                                 QStringLiteral("Укажите компьютер и пользователя."));
            return;
        }
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

HostAccount AccountDialog::value() const {
    return {s(Host), Account(s(Domain), s(User), Password->text().toStdString())};
}

AccountsWindow::AccountsWindow(ConfigFile& config, QWidget* parent) : QDialog(parent), config_(config) {
    setObjectName(QStringLiteral("AccountsWindow"));
    setWindowTitle(QStringLiteral("Учётные записи"));
    const AccountBook current = processSignIn().book();
    loaded_ = current;
    hosts_ = current.hosts;

    auto* top = new QVBoxLayout(this);
    auto* defaults =
        new QGroupBox(QStringLiteral("Учётная запись по умолчанию (для всех компьютеров)"), this);
    auto* form = new QFormLayout(defaults);
    DefaultDomain = textField(defaults, "DefaultDomain");
    DefaultUser = textField(defaults, "DefaultUser");
    DefaultPassword = passwordField(defaults, "DefaultPassword");
    DefaultDomain->setText(q(current.defaultAccount.domain));
    DefaultUser->setText(q(current.defaultAccount.user));
    DefaultPassword->setText(q(current.defaultAccount.password));
    form->addRow(QStringLiteral("Домен"), DefaultDomain);
    form->addRow(QStringLiteral("Пользователь"), DefaultUser);
    form->addRow(QStringLiteral("Пароль"), DefaultPassword);
    top->addWidget(defaults);

    auto* hostsBox = new QGroupBox(QStringLiteral("Учётные записи отдельных компьютеров"), this);
    auto* hostsLayout = new QVBoxLayout(hostsBox);
    HostList = new QTreeWidget(hostsBox);
    HostList->setObjectName(QStringLiteral("HostList"));
    HostList->setHeaderLabels({QStringLiteral("Компьютер"), QStringLiteral("Учётная запись")});
    HostList->setRootIsDecorated(false);
    hostsLayout->addWidget(HostList);
    auto* rowButtons = new QHBoxLayout;
    AddButton = flatButton(hostsBox, "AddButton", QStringLiteral("Добавить…"), {});
    ChangeButton = flatButton(hostsBox, "ChangeButton", QStringLiteral("Изменить…"), {});
    DeleteButton = flatButton(hostsBox, "DeleteButton", QStringLiteral("Удалить"), {});
    rowButtons->addWidget(AddButton);
    rowButtons->addWidget(ChangeButton);
    rowButtons->addWidget(DeleteButton);
    rowButtons->addStretch(1);
    hostsLayout->addLayout(rowButtons);
    top->addWidget(hostsBox, 1);

    RememberPasswords = checkBox(this, "RememberPasswords", QStringLiteral("Запомнить пароли"));
    RememberPasswords->setChecked(true);
    top->addWidget(RememberPasswords);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Сохранить"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    top->addWidget(buttons);

    connect(AddButton, &QToolButton::clicked, this, &AccountsWindow::addAccount);
    connect(ChangeButton, &QToolButton::clicked, this, &AccountsWindow::editCurrent);
    connect(DeleteButton, &QToolButton::clicked, this, &AccountsWindow::deleteCurrent);
    connect(HostList, &QTreeWidget::itemDoubleClicked, this, &AccountsWindow::editCurrent);
    connect(buttons, &QDialogButtonBox::accepted, this, &AccountsWindow::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    refreshList();
    resize(440, 420);
}

void AccountsWindow::refreshList() {
    HostList->clear();
    for (const auto& h : hosts_)
        HostList->addTopLevelItem(new QTreeWidgetItem({q(h.host), q(h.account.displayName())}));
}

AccountBook AccountsWindow::book() const {
    AccountBook b;
    b.defaultAccount = Account(s(DefaultDomain), s(DefaultUser), DefaultPassword->text().toStdString());
    // A default account whose password the keyring could not give stays
    // unusable until a password is typed.
    const Account& before = loaded_.defaultAccount;
    if (before.passwordMissing && b.defaultAccount.password.empty() && b.defaultAccount.user == before.user &&
        b.defaultAccount.domain == before.domain)
        b.defaultAccount.passwordMissing = true;
    b.hosts = hosts_;
    return b;
}

void AccountsWindow::putHostAccount(const HostAccount& entry) {
    auto it = std::find_if(hosts_.begin(), hosts_.end(),
                           [&](const HostAccount& h) { return h.host == entry.host; });
    if (it == hosts_.end())
        hosts_.push_back(entry);
    else
        *it = entry;
    refreshList();
}

void AccountsWindow::deleteCurrent() {
    const int row = HostList->indexOfTopLevelItem(HostList->currentItem());
    if (row < 0 || row >= static_cast<int>(hosts_.size()))
        return;
    hosts_.erase(hosts_.begin() + row);
    refreshList();
}

void AccountsWindow::addAccount() {
    AccountDialog dialog(HostAccount{}, this);
    if (dialog.exec() == QDialog::Accepted)
        putHostAccount(dialog.value());
}

void AccountsWindow::editCurrent() {
    const int row = HostList->indexOfTopLevelItem(HostList->currentItem());
    if (row < 0 || row >= static_cast<int>(hosts_.size()))
        return;
    const std::string oldHost = hosts_[static_cast<size_t>(row)].host;
    AccountDialog dialog(hosts_[static_cast<size_t>(row)], this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.value().host != oldHost)
        hosts_.erase(hosts_.begin() + row);
    putHostAccount(dialog.value());
}

void AccountsWindow::save() {
    if (StoreAccounts(config_, book(), RememberPasswords->isChecked(), this))
        accept();
}

} // namespace ormix

// The "Войти как…" dialog (see logindialog.h).
#include "gui/logindialog.h"

#include "gui/widgets.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace ormix {

LoginDialog::LoginDialog(const QString& hostName, const QString& ip, ListFn list, SuccessFn onSuccess,
                         QWidget* parent)
    : QDialog(parent), ip_(ip), list_(std::move(list)), onSuccess_(std::move(onSuccess)) {
    setObjectName(QStringLiteral("LoginDialog"));
    setWindowTitle(QStringLiteral("Войти как…"));
    auto* top = new QVBoxLayout(this);
    auto* caption = new QLabel(QStringLiteral("Компьютер: %1 (%2)").arg(hostName, ip), this);
    top->addWidget(caption);
    auto* form = new QFormLayout;
    Domain = textField(this, "Domain");
    User = textField(this, "User");
    Password = passwordField(this, "Password");
    form->addRow(QStringLiteral("Домен"), Domain);
    form->addRow(QStringLiteral("Пользователь"), User);
    form->addRow(QStringLiteral("Пароль"), Password);
    top->addLayout(form);
    Remember = checkBox(this, "Remember", QStringLiteral("Запомнить пароль"));
    Remember->setChecked(true);
    top->addWidget(Remember);
    Status = namedLabel(this, "Status", QString());
    Status->setWordWrap(true);
    // Room for the longest message, so the fields never get squeezed by it.
    Status->setMinimumHeight(Status->fontMetrics().lineSpacing() * 3);
    top->addWidget(Status);
    auto* buttons = new QDialogButtonBox(this);
    SignIn = buttons->addButton(QStringLiteral("Войти"), QDialogButtonBox::AcceptRole);
    SignIn->setObjectName(QStringLiteral("SignIn"));
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    top->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::start);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(&watcher_, &QFutureWatcher<ShareListing>::finished, this, &LoginDialog::finished);
    setMinimumWidth(380);
    User->setFocus();
}

LoginDialog::~LoginDialog() {
    watcher_.waitForFinished();
}

QString LoginDialog::failureText(int32_t status) {
    switch (status) {
    case smbproto::kStatusAccessDenied:
        return QStringLiteral("Вход не выполнен: неверное имя пользователя или пароль, или этой учётной "
                              "записи доступ запрещён.");
    case smbproto::kStatusPathNotFound:
        return QStringLiteral("Компьютер не отвечает (ошибка #53).");
    default:
        return QStringLiteral("Не удалось получить список ресурсов (ошибка #%1).").arg(status);
    }
}

void LoginDialog::setBusy(bool busy) {
    for (QWidget* w :
         {static_cast<QWidget*>(Domain), static_cast<QWidget*>(User), static_cast<QWidget*>(Password),
          static_cast<QWidget*>(Remember), static_cast<QWidget*>(SignIn)})
        w->setEnabled(!busy);
}

void LoginDialog::start() {
    if (watcher_.isRunning())
        return;
    account_ = Account(Domain->text().trimmed().toStdString(), User->text().trimmed().toStdString(),
                       Password->text().toStdString());
    if (!account_.isSet()) {
        Status->setText(QStringLiteral("Введите имя пользователя."));
        return;
    }
    Status->setText(QStringLiteral("Вход…"));
    setBusy(true);
    const smbproto::JobAuth auth(smbproto::AuthMethod::Account, account_.domain, account_.user,
                                 account_.password);
    watcher_.setFuture(
        QtConcurrent::run([list = list_, ip = ip_.toStdString(), auth] { return list(ip, auth); }));
}

void LoginDialog::finished() {
    setBusy(false);
    const ShareListing listing = watcher_.result();
    if (listing.status != smbproto::kStatusOk) {
        Status->setText(failureText(listing.status));
        Password->setFocus();
        Password->selectAll();
        return;
    }
    Status->clear();
    if (onSuccess_)
        onSuccess_(listing, account_, Remember->isChecked());
    accept();
}

} // namespace ormix

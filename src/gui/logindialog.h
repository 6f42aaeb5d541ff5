// "Войти как…": signs in to one computer that refused its listing. The
// listing with the typed account runs off the main thread; on success the
// caller gets the shares and the dialog closes, on failure it says why and
// stays open with everything typed still there.
// Tests: tests/gui/accountswindows_test.cpp.
#pragma once

#include "shares/accounts.h"
#include "shares/smbpool.h"

#include <QDialog>
#include <QFutureWatcher>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ormix {

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    // One listing attempt with exactly this account.
    using ListFn = std::function<ShareListing(const std::string& ip, const smbproto::JobAuth& auth)>;
    // Called on the main thread once the account listed the shares.
    using SuccessFn = std::function<void(const ShareListing& listing, const Account& account, bool remember)>;

    LoginDialog(const QString& hostName, const QString& ip, ListFn list, SuccessFn onSuccess,
                QWidget* parent = nullptr);
    ~LoginDialog() override; // waits for a listing still running

    QLineEdit* Domain = nullptr;
    QLineEdit* User = nullptr;
    QLineEdit* Password = nullptr;
    QCheckBox* Remember = nullptr;
    QLabel* Status = nullptr;
    QPushButton* SignIn = nullptr;

    // The failure text for a listing status.
    static QString failureText(int32_t status);

private:
    void start();
    void finished();
    void setBusy(bool busy);

    QString ip_;
    ListFn list_;
    SuccessFn onSuccess_;
    Account account_;
    QFutureWatcher<ShareListing> watcher_;
};

} // namespace ormix

// The account windows under the offscreen platform: "Войти как…" stays open
// and says why when the account is refused, hands over the shares when it is
// not; the accounts window edits the default and per-computer accounts and
// keeps passwords out of cfg.ini (no keyring here: told once, session only).
#include "gui/accountswindow.h"
#include "gui/logindialog.h"
#include "gui/signinmark.h"
#include "settings/accountstore.h"
#include "settings/configfile.h"

#include "gui/qtapp.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <fstream>

using namespace ormix;
using smbproto::AuthMethod;
using smbproto::JobAuth;

namespace {

// A computer that opens only for OFFICE\bob with password "right".
ShareListing fakeHost(const std::string& ip, const JobAuth& a) {
    ShareListing l;
    if (ip != "127.0.0.13" || a.method != AuthMethod::Account || a.user != "bob" || a.password != "right") {
        l.status = smbproto::kStatusAccessDenied;
        return l;
    }
    l.shares = {{"Secret", "Members only"}, {"IPC$", ""}};
    return l;
}

std::string fileText(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

} // namespace

TEST(LoginDialog, StaysOpenOnRefusalAndHandsOverTheShares) {
    int successes = 0;
    ShareListing got;
    Account used;
    bool remembered = false;
    LoginDialog dialog(QStringLiteral("CHARLIE"), QStringLiteral("127.0.0.13"), fakeHost,
                       [&](const ShareListing& l, const Account& a, bool remember) {
                           ++successes;
                           got = l;
                           used = a;
                           remembered = remember;
                       });
    dialog.show();
    EXPECT_EQ(dialog.Password->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog.Remember->isChecked());

    dialog.SignIn->click(); // no user yet
    EXPECT_EQ(dialog.Status->text(), QStringLiteral("Введите имя пользователя."));

    dialog.Domain->setText(QStringLiteral("OFFICE"));
    dialog.User->setText(QStringLiteral("bob"));
    dialog.Password->setText(QStringLiteral("wrong"));
    dialog.SignIn->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.SignIn->isEnabled(); }, 5000));
    EXPECT_EQ(dialog.Status->text(), LoginDialog::failureText(5));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(dialog.User->text(), QStringLiteral("bob")); // nothing typed is lost
    EXPECT_EQ(successes, 0);

    dialog.Password->setText(QStringLiteral("right"));
    dialog.Remember->setChecked(false);
    dialog.SignIn->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return successes == 1; }, 5000));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(got.shares.size(), 2u);
    EXPECT_EQ(used.displayName(), "OFFICE\\bob");
    EXPECT_EQ(used.password, "right");
    EXPECT_FALSE(remembered);

    const HostInfo host =
        HostWithListing(QStringLiteral("CHARLIE"), QStringLiteral("127.0.0.13"), {}, {}, got, {"IPC$"});
    ASSERT_EQ(host.ShareCount, 1);
    EXPECT_EQ(host.Shares[0].Path, "\\\\127.0.0.13\\Secret");
    EXPECT_EQ(host.Shares[0].Remark, "Members only");
}

TEST(LoginDialog, FailureTexts) {
    EXPECT_TRUE(LoginDialog::failureText(53).contains(QStringLiteral("#53")));
    EXPECT_TRUE(LoginDialog::failureText(59).contains(QStringLiteral("#59")));
}

TEST(RefusedMark, OnlyOnHostsThatRefused) {
    QTreeWidget tree;
    auto* node = new QTreeWidgetItem(&tree, {QStringLiteral("CHARLIE"), QStringLiteral("127.0.0.13")});
    EXPECT_FALSE(IsRefusedHost(node));
    MarkRefusedHost(node, true);
    EXPECT_TRUE(IsRefusedHost(node));
    EXPECT_FALSE(node->icon(0).isNull());
    EXPECT_FALSE(node->toolTip(1).isEmpty());

    HostInfo h;
    h.Ip = "127.0.0.77";
    EXPECT_FALSE(ListingWasRefused(h));
    SignIn& signIn = processSignIn();
    signIn.run("127.0.0.77", [](const JobAuth&) { return smbproto::kStatusAccessDenied; });
    EXPECT_TRUE(ListingWasRefused(h));
    h.addShare("\\\\127.0.0.77\\A", "");
    EXPECT_FALSE(ListingWasRefused(h));
}

TEST(AccountsWindow, EditsAndSavesWithoutPasswordsInCfgIni) {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ormix-no-bus"); // no keyring
    QTemporaryDir dir;
    ConfigFile cfg(dir.filePath(QStringLiteral("cfg.ini")).toStdString());
    cfg.WriteText("main", "iprange", "127.0.0.10-16");
    processSignIn().setBook({});

    AccountsWindow window(cfg);
    window.show();
    EXPECT_EQ(window.DefaultPassword->echoMode(), QLineEdit::Password);
    window.DefaultDomain->setText(QStringLiteral("OFFICE"));
    window.DefaultUser->setText(QStringLiteral("bob"));
    window.DefaultPassword->setText(QStringLiteral("default-secret"));
    window.putHostAccount({"127.0.0.13", Account("OFFICE", "ormixuser", "host-secret")});
    window.putHostAccount({"DELTA", Account("", "other", "x")});
    window.putHostAccount({"127.0.0.13", Account("OFFICE", "ormixuser", "changed-secret")}); // change
    ASSERT_EQ(window.HostList->topLevelItemCount(), 2);
    EXPECT_EQ(window.HostList->topLevelItem(0)->text(1), QStringLiteral("OFFICE\\ormixuser"));
    window.HostList->setCurrentItem(window.HostList->topLevelItem(1));
    window.deleteCurrent();
    ASSERT_EQ(window.HostList->topLevelItemCount(), 1);

    // Saving with no keyring: told once that the passwords stay for the session.
    QStringList told;
    auto closeMessages = [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            told << box->text();
            box->accept();
        }
    };
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, closeMessages);
    timer.start(20);
    window.save();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(told, QStringList{QString::fromUtf8(kSessionOnlyMessage)});

    const std::string text = fileText(QString::fromStdString(cfg.Path()));
    EXPECT_NE(text.find("*=OFFICE\\bob"), std::string::npos) << text;
    EXPECT_NE(text.find("127.0.0.13=OFFICE\\ormixuser"), std::string::npos) << text;
    EXPECT_EQ(text.find("DELTA"), std::string::npos) << text;
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
    EXPECT_NE(text.find("iprange=127.0.0.10-16"), std::string::npos) << text;

    // In effect at once, passwords included, for the session.
    const AccountBook book = processSignIn().book();
    EXPECT_EQ(book.defaultAccount.password, "default-secret");
    ASSERT_EQ(book.hosts.size(), 1u);
    EXPECT_EQ(book.hosts[0].account.password, "changed-secret");

    // A second save says nothing more; a new window shows what is in effect.
    AccountsWindow again(cfg);
    EXPECT_EQ(again.DefaultUser->text(), QStringLiteral("bob"));
    EXPECT_EQ(again.HostList->topLevelItemCount(), 1);
    again.save();
    EXPECT_EQ(told.size(), 1);
    timer.stop();
}

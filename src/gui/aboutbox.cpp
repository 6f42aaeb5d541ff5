// TAbout: the About box.
#include "gui/aboutbox.h"

#include "gui/icons.h"
#include "gui/mainwindow.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

namespace ormix {

namespace {

QLabel* textLabel(QWidget* parent, const char* name, const QString& text, QRect where) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(where);
    return label;
}

QLabel* linkLabel(QWidget* parent, const char* name, const QString& shown, const QString& url, QRect where) {
    auto* label = textLabel(parent, name,
                            QStringLiteral("<a href=\"%1\">%2</a>").arg(url, shown.toHtmlEscaped()), where);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    return label;
}

} // namespace

TAbout::TAbout(const TMainDlg& mainDlg, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      mainDlg_(mainDlg) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("О программе"));
    setFixedSize(290, 119);
    QFont boxFont = font();
    boxFont.setPointSize(8);
    setFont(boxFont);

    Picture = new QLabel(this);
    Picture->setObjectName(QStringLiteral("Picture"));
    Picture->setPixmap(ormixIcon(IconComputerStar).pixmap(16, 16).scaled(32, 32));
    Picture->setGeometry(8, 8, 32, 32);

    TitleLabel = textLabel(this, "TitleLabel", QString(), QRect(48, 8, 234, 22));
    TitleLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    TitleLabel->setAlignment(Qt::AlignCenter);
    QFont titleFont = TitleLabel->font();
    titleFont.setBold(true);
    TitleLabel->setFont(titleFont);

    AuthorLine1 = textLabel(this, "AuthorLine1", QStringLiteral("Обзор ресурсов локальной сети"),
                            QRect(48, 32, 234, 16));
    AuthorLine2 = textLabel(this, "AuthorLine2", QStringLiteral("Разработка: команда проекта ORMIX"),
                            QRect(48, 48, 234, 16));

    WebLabel = textLabel(this, "WebLabel", QStringLiteral("WEB:"), QRect(8, 70, 50, 16));
    WebLink = linkLabel(this, "WebLink", QStringLiteral("example.org/ormix"),
                        QString::fromLatin1(kWebAddress), QRect(60, 70, 140, 16));
    MailLabel = textLabel(this, "MailLabel", QStringLiteral("E-MAIL:"), QRect(8, 90, 50, 16));
    MailLink =
        linkLabel(this, "MailLink", QString::fromLatin1(kMailAddress),
                  QStringLiteral("mailto:") + QString::fromLatin1(kMailAddress), QRect(60, 90, 140, 16));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(207, 84, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAbout::showEvent(QShowEvent* event) {
    TitleLabel->setText(mainDlg_.TitleText);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

} // namespace ormix

// AboutBox: the About box.
#include "gui/aboutbox.h"

#include "gui/application.h"
#include "gui/icons.h"
#include "gui/mainwindow.h"
#include "gui/widgets.h"
#include "platform/programdir.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <functional>

namespace ormix {

namespace {

// A link to a file that comes with the program; the path is looked at when
// the link is followed, and a missing file is said in a message.
QLabel* fileLinkLabel(QWidget* parent, const char* name, QRect where, std::function<QString()> path) {
    auto* label = placedLabel(parent, name, QString(), where);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    QObject::connect(label, &QLabel::linkActivated, label, [label, path = std::move(path)](const QString&) {
        const QFileInfo file(path());
        if (!file.isFile()) {
            QMessageBox::warning(label->window(), MessageBoxTitle(),
                                 QStringLiteral("Файл не найден:\n%1").arg(file.filePath()));
            return;
        }
        QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
    });
    return label;
}

void showFileLink(QLabel* label, const QString& path) {
    label->setText(QStringLiteral("<a href=\"open\">%1</a>").arg(QFileInfo(path).fileName().toHtmlEscaped()));
    label->setToolTip(path);
}

} // namespace

QString AboutBox::ReadmePath() {
    return QString::fromStdString(dataFilesDir()) + QStringLiteral("/README.md");
}

AboutBox::AboutBox(const MainWindow& mainDlg, QWidget* parent)
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

    TitleLabel = placedLabel(this, "TitleLabel", QString(), QRect(48, 8, 234, 22));
    TitleLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    TitleLabel->setAlignment(Qt::AlignCenter);
    QFont titleFont = TitleLabel->font();
    titleFont.setBold(true);
    TitleLabel->setFont(titleFont);

    subtitleLine_ = placedLabel(this, "AuthorLine1", QStringLiteral("Обзор ресурсов локальной сети"),
                                QRect(48, 32, 234, 16));
    VersionLine =
        placedLabel(this, "VersionLine", QStringLiteral("Версия " ORMIX_VERSION), QRect(48, 48, 234, 16));

    HelpLabel = placedLabel(this, "HelpLabel", QStringLiteral("Справка:"), QRect(8, 70, 60, 16));
    HelpLink = fileLinkLabel(this, "HelpLink", QRect(70, 70, 130, 16), [this] { return mainDlg_.HelpFile; });
    ReadmeLabel = placedLabel(this, "ReadmeLabel", QStringLiteral("Описание:"), QRect(8, 90, 60, 16));
    ReadmeLink = fileLinkLabel(this, "ReadmeLink", QRect(70, 90, 130, 16), &AboutBox::ReadmePath);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(207, 84, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutBox::showEvent(QShowEvent* event) {
    TitleLabel->setText(mainDlg_.TitleText);
    showFileLink(HelpLink, mainDlg_.HelpFile);
    showFileLink(ReadmeLink, ReadmePath());
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

} // namespace ormix

#include "gui/drivewindow.h"
#include "gui/application.h"

#include "gui/help.h"
#include "gui/icons.h"
#include "settings/netdrive.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace ormix {
namespace {

QLabel* framedText(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setToolTip(QStringLiteral("Количество найденых компьютеров"));
    return label;
}

// Blanks and control characters (codes 0 to 32) off both ends.
QString trimmedPath(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

TConnectDriveForm::TConnectDriveForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ConnectDriveForm"));
    setWindowTitle(QStringLiteral("Подключение сетевого диска"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    OnHostCntTxt = framedText(QStringLiteral("Выберите имя диска для подключения: "), this);
    OnHostCntTxt->setObjectName(QStringLiteral("OnHostCntTxt"));

    DrivesCombo = new QComboBox(this);
    DrivesCombo->setObjectName(QStringLiteral("DrivesCombo"));
    DrivesCombo->setEditable(false);
    // Styles that open a non-editable list as a menu show every row and ignore
    // the limit; a list view in the dropdown container keeps it.
    DrivesCombo->setView(new QListView(DrivesCombo));
    DrivesCombo->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    DrivesCombo->setMaxVisibleItems(8);

    StaticText1 = framedText(QStringLiteral("Сетевой каталог для подключения: "), this);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));

    PathName = new QLineEdit(this);
    PathName->setObjectName(QStringLiteral("PathName"));
    PathName->setFrame(false);
    PathName->setReadOnly(true);
    PathName->setMaxLength(256);
    PathName->installEventFilter(this);

    ScanButt = new QToolButton(this);
    ScanButt->setObjectName(QStringLiteral("ScanButt"));
    ScanButt->setText(QStringLiteral("Подключить"));
    ScanButt->setToolTip(QStringLiteral("Подключить сетевой диск"));
    ScanButt->setIcon(ormixIcon(IconNetworkDrive));
    ScanButt->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ScanButt->setAutoRaise(true);
    connect(ScanButt, &QToolButton::clicked, this, &TConnectDriveForm::ScanButtClick);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(ScanButt);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->addWidget(OnHostCntTxt);
    layout->addWidget(DrivesCombo);
    layout->addWidget(StaticText1);
    layout->addWidget(PathName);
    layout->addLayout(buttonRow);
    setFixedSize(QSize(275, 126).expandedTo(sizeHint()));

    MapDrive = [](const QString& localName, const QString& uncPath) {
        return MapNetworkDrive(localName.toStdString(), uncPath.toStdString());
    };
    ShowMessage = [this](const QString& text) { QMessageBox::information(this, MessageBoxTitle(), text); };
    OpenHelp = [](int topic) { OpenHelpTopic(topic); };
}

int TConnectDriveForm::ShowForPath(const QString& uncPath) {
    PathName->setText(uncPath);
    return exec();
}

void TConnectDriveForm::FormShow() {
    DrivesCombo->clear();
    const QIcon icon = ormixIcon(0);
    for (const std::string& name : FreeDriveNames())
        DrivesCombo->addItem(icon, QString::fromStdString(name));
    DrivesCombo->setCurrentIndex(-1);
}

void TConnectDriveForm::ScanButtClick() {
    if (DrivesCombo->currentIndex() < 0) {
        ShowMessage(QStringLiteral("Не выбрана буква для сетевого диска!"));
        return;
    }
    const QString drive = DrivesCombo->currentText();
    const QString path = trimmedPath(PathName->text());
    // gio may take a while to reach the server; the window waits for it.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const int status = MapDrive(drive.toLower(), path);
    QGuiApplication::restoreOverrideCursor();
    if (status != 0) {
        ShowMessage(QStringLiteral("Ошибка подключения диска!"));
        return;
    }
    ShowMessage(QStringLiteral("Сетевой диск ") + drive + QStringLiteral(" успешно подключен!"));
    accept();
}

void TConnectDriveForm::showEvent(QShowEvent* event) {
    // A restore from minimised is spontaneous and is not a new showing.
    if (!event->spontaneous()) {
        FormShow();
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        PathName->setFocus();
    }
    QDialog::showEvent(event);
}

bool TConnectDriveForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PathName && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        OpenHelp(kPathHelpTopic);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace ormix

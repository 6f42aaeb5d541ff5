#include "gui/drivewindow.h"
#include "gui/application.h"

#include "gui/help.h"
#include "gui/icons.h"
#include "gui/widgets.h"
#include "settings/netdrive.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMetaObject>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

namespace ormix {
namespace {

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

DriveWindow::DriveWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ConnectDriveForm"));
    setWindowTitle(QStringLiteral("Подключение сетевого диска"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    const QString labelHint = QStringLiteral("Количество найденых компьютеров");
    OnHostCntTxt =
        framedLabel(this, "OnHostCntTxt", QStringLiteral("Выберите имя диска для подключения: "), labelHint);

    DrivesCombo = new QComboBox(this);
    DrivesCombo->setObjectName(QStringLiteral("DrivesCombo"));
    DrivesCombo->setEditable(false);
    // Styles that open a non-editable list as a menu show every row and ignore
    // the limit; a list view in the dropdown container keeps it.
    DrivesCombo->setView(new QListView(DrivesCombo));
    DrivesCombo->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    DrivesCombo->setMaxVisibleItems(8);

    pathLabel_ =
        framedLabel(this, "StaticText1", QStringLiteral("Сетевой каталог для подключения: "), labelHint);

    PathName = textField(this, "PathName");
    PathName->setFrame(false);
    PathName->setReadOnly(true);
    PathName->setMaxLength(256);
    PathName->installEventFilter(this);

    connectButton_ = flatButton(this, "ScanButt", QStringLiteral("Подключить"),
                                QStringLiteral("Подключить сетевой диск"), Qt::ToolButtonTextBesideIcon);
    connectButton_->setIcon(ormixIcon(IconNetworkDrive));
    connect(connectButton_, &QToolButton::clicked, this, &DriveWindow::onConnectClicked);

    StatusTxt = namedLabel(this, "StatusTxt", QString());

    cancelButton_ =
        flatButton(this, "CancelButt", QStringLiteral("Отмена"), QStringLiteral("Прервать подключение"));
    connect(cancelButton_, &QToolButton::clicked, this, &DriveWindow::onCancelClicked);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(StatusTxt, 1);
    buttonRow->addWidget(connectButton_);
    buttonRow->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->addWidget(OnHostCntTxt);
    layout->addWidget(DrivesCombo);
    layout->addWidget(pathLabel_);
    layout->addWidget(PathName);
    layout->addLayout(buttonRow);
    // Room for the connecting state too, so the window never changes size.
    StatusTxt->setText(ConnectingText());
    setFixedSize(QSize(275, 126).expandedTo(sizeHint()));
    StatusTxt->clear();
    cancelButton_->hide();

    MapDrive = [](const QString& localName, const QString& uncPath, const std::atomic<bool>& cancel) {
        return MapNetworkDrive(localName.toStdString(), uncPath.toStdString(), cancel);
    };
    ShowMessage = [this](const QString& text) { QMessageBox::information(this, MessageBoxTitle(), text); };
    OpenHelp = [](int topic) { OpenHelpTopic(topic); };
}

DriveWindow::~DriveWindow() {
    CancelAndWait();
}

QString DriveWindow::ConnectingText() {
    return QStringLiteral("Подключение…");
}

QString DriveWindow::CancelledText() {
    return QStringLiteral("Подключение отменено");
}

int DriveWindow::ShowForPath(const QString& uncPath) {
    PathName->setText(uncPath);
    return exec();
}

void DriveWindow::FormShow() {
    DrivesCombo->clear();
    const QIcon icon = ormixIcon(0);
    for (const std::string& name : FreeDriveNames())
        DrivesCombo->addItem(icon, QString::fromStdString(name));
    DrivesCombo->setCurrentIndex(-1);
}

void DriveWindow::onConnectClicked() {
    if (DrivesCombo->currentIndex() < 0) {
        ShowMessage(QStringLiteral("Не выбрана буква для сетевого диска!"));
        return;
    }
    if (connecting_)
        return;
    const QString drive = DrivesCombo->currentText();
    const QString path = trimmedPath(PathName->text());
    // The result comes back to this thread as a queued call; the thread is
    // joined there, or by CancelAndWait.
    CancelAndWait();
    cancel_ = false;
    const unsigned attempt = ++attempt_;
    SetConnecting(true);
    worker_ = std::thread([this, map = MapDrive, attempt, drive, path] {
        int status = NetDriveBadNetPath;
        try {
            status = map(drive.toLower(), path, cancel_);
        } catch (const std::exception&) {
            // counts as a failed attachment
        }
        QMetaObject::invokeMethod(
            this, [this, attempt, status, drive] { ConnectDone(attempt, status, drive); },
            Qt::QueuedConnection);
    });
}

void DriveWindow::ConnectDone(unsigned attempt, int status, const QString& drive) {
    if (attempt != attempt_ || !connecting_)
        return; // given up by CancelAndWait, which joined the thread
    if (worker_.joinable())
        worker_.join();
    const bool cancelled = cancel_;
    SetConnecting(false);
    if (status == 0) {
        // Done before the cancel could stop it: the drive is there, and said so.
        ShowMessage(QStringLiteral("Сетевой диск ") + drive + QStringLiteral(" успешно подключен!"));
        accept();
        return;
    }
    if (cancelled) {
        StatusTxt->setText(CancelledText());
        return;
    }
    ShowMessage(QStringLiteral("Ошибка подключения диска!"));
}

void DriveWindow::onCancelClicked() {
    if (!connecting_)
        return;
    cancel_ = true;
    cancelButton_->setEnabled(false);
    StatusTxt->setText(QStringLiteral("Отмена подключения…"));
}

void DriveWindow::CancelAndWait() {
    if (!worker_.joinable())
        return;
    cancel_ = true;
    worker_.join();
    if (connecting_) {
        SetConnecting(false);
        StatusTxt->setText(CancelledText());
    }
}

void DriveWindow::reject() {
    CancelAndWait();
    QDialog::reject();
}

void DriveWindow::SetConnecting(bool on) {
    connecting_ = on;
    DrivesCombo->setEnabled(!on);
    PathName->setEnabled(!on);
    connectButton_->setEnabled(!on);
    cancelButton_->setVisible(on);
    cancelButton_->setEnabled(on);
    StatusTxt->setText(on ? ConnectingText() : QString());
    if (on)
        cancelButton_->setFocus();
    else
        PathName->setFocus();
}

void DriveWindow::showEvent(QShowEvent* event) {
    // A restore from minimised is spontaneous and is not a new showing.
    if (!event->spontaneous()) {
        StatusTxt->clear();
        FormShow();
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        PathName->setFocus();
    }
    QDialog::showEvent(event);
}

bool DriveWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PathName && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        OpenHelp(kPathHelpTopic);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace ormix

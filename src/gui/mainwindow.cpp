// MainWindow: layout, menus, tray icon, message log, placement and quit.
#include "gui/mainwindow.h"

#include "gui/application.h"
#include "gui/appstate.h"
#include "gui/help.h"
#include "gui/icons.h"
#include "gui/placement.h"
#include "gui/scansession.h"
#include "gui/widgets.h"
#include "platform/programdir.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

namespace ormix {

namespace {

constexpr int kWidth = 602;
constexpr int kHeight = 492;
constexpr int kControlPanelHeight = 60;
constexpr int kLogOpen = 80;
constexpr int kLogClosed = 1;
// The smallest window that still shows every control of controlPanel_: the buttons
// end at x 542 and "+" sits right of them; a few tree rows above the panel
// and the open log below it.
constexpr int kMinWidth = 562;
constexpr int kMinHeight = 240;
const QColor kStatusBack(0xEB, 0xEB, 0xEB);

// The accessor of the placement keys: the relative name, resolved against the
// current folder at each access; an installed copy keeps cfg.ini in its
// configuration folder.
std::string placementFile() {
    return ormix::runsInstalled() ? ormix::configFilePath() : "./cfg.ini";
}

// A status line of controlPanel_ at its place in the fixed layout.
QLabel* framedText(QWidget* parent, const char* name, const QString& hint, QRect where) {
    QLabel* label = framedLabel(parent, name, QString(), hint);
    label->setGeometry(where);
    return label;
}

void paintBack(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

MainWindow::MainWindow(AppState& state, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ConfigFile(state.config()), state_(state) {
    setObjectName(QStringLiteral("MainDlg"));
    // The fixed pixel layout of the panels is made for an 8 point font.
    QFont windowFont = font();
    windowFont.setPointSize(8);
    setFont(windowFont);
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kWidth, kHeight);
    BuildLayout();
    BuildMenus();
    SetupMainTree();
    SetupScanControl();
    FormCreate();
    connect(&state_, &AppState::settingsChanged, this, &MainWindow::SettingsChanged);
    SettingsChanged();
}

MainWindow::~MainWindow() {
    if (placementSaved_)
        return;
    try {
        SavePlacement(true);
    } catch (...) {
        // Nothing can be reported while the window goes away.
    }
}

void MainWindow::FormCreate() {
    TitleText = QStringLiteral(":: ORMIX 2.8 ::");
    setWindowTitle(TitleText);
    setWindowIcon(ormixIcon(IconComputerStar));
    HelpFile = HelpFilePath();
    QuitRequested = false;
    BuildTray();
}

void MainWindow::BuildLayout() {
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    MainTree = new QTreeWidget(central);
    MainTree->setObjectName(QStringLiteral("MainTree"));
    column->addWidget(MainTree, 1);

    controlPanel_ = new QFrame(central);
    controlPanel_->setObjectName(QStringLiteral("Panel2"));
    controlPanel_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    controlPanel_->setFixedHeight(kControlPanelHeight);
    controlPanel_->installEventFilter(this);
    column->addWidget(controlPanel_);

    TotHostTxt = framedText(controlPanel_, "TotHostTxt",
                            QStringLiteral("Количество просканированных компьютеров"), QRect(5, 4, 412, 17));
    OnHostCntTxt = framedText(controlPanel_, "OnHostCntTxt",
                              QStringLiteral("Количество найденых компьютеров"), QRect(5, 22, 412, 17));

    ScanProgress = new QProgressBar(controlPanel_);
    ScanProgress->setObjectName(QStringLiteral("ScanProgress"));
    ScanProgress->setToolTip(QStringLiteral("Показывает процент просканированного диапазона"));
    ScanProgress->setGeometry(5, 40, 412, 17);
    ScanProgress->setRange(0, 100);
    ScanProgress->setValue(0);
    ScanProgress->setFormat(QStringLiteral("%p%"));
    paintBack(ScanProgress, kStatusBack);

    AddHstTxt = framedText(controlPanel_, "AddHstTxt",
                           QStringLiteral("Количество просканированных компьютеров"), QRect(5, 40, 412, 17));
    AddHstTxt->setText(QStringLiteral("-"));
    paintBack(AddHstTxt, kStatusBack);
    AddHstTxt->hide();

    ScanButt = flatButton(controlPanel_, "ScanButt", QStringLiteral("  Старт!"),
                          QStringLiteral("Начать сканирование сети"));
    ScanButt->setIcon(ormixIcon(IconNetwork));
    ScanButt->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ScanButt->setGeometry(434, 4, 96, 23);
    connect(ScanButt, &QToolButton::clicked, this, &MainWindow::onScanClicked);

    menuButton_ = flatButton(controlPanel_, "RxSpeedButton1", QString(), QStringLiteral("Нажми меня!"));
    menuButton_->setGeometry(434 + 96, 4, 12, 23);
    menuButton_->setArrowType(Qt::DownArrow);
    menuButton_->setPopupMode(QToolButton::InstantPopup);
    // The button is too narrow for both the arrow and the menu mark.
    menuButton_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));

    SearchButt = flatButton(controlPanel_, "SearchButt", QStringLiteral("Поиск файлов!"),
                            QStringLiteral("Поиск файлов и папок"));
    SearchButt->setIcon(ormixIcon(IconMagnifier));
    SearchButt->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SearchButt->setGeometry(434, 28, 108, 23);
    SearchButt->setEnabled(false);
    connect(SearchButt, &QToolButton::clicked, this, &MainWindow::onSearchClicked);

    LogButt = flatButton(controlPanel_, "LogButt", QStringLiteral("+"),
                         QStringLiteral("Скрыть/показать окно сообщений"));
    LogButt->resize(13, 15);
    connect(LogButt, &QToolButton::clicked, this, &MainWindow::onLogClicked);
    PlaceLogButt();

    LogPanel = new QFrame(central);
    LogPanel->setObjectName(QStringLiteral("LogPanel"));
    LogPanel->setFixedHeight(kLogClosed);
    column->addWidget(LogPanel);
    auto* logColumn = new QVBoxLayout(LogPanel);
    logColumn->setContentsMargins(0, 0, 0, 0);

    IpMemo = new QPlainTextEdit(LogPanel);
    IpMemo->setObjectName(QStringLiteral("IpMemo"));
    IpMemo->setReadOnly(true);
    IpMemo->setFrameStyle(QFrame::NoFrame);
    IpMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    IpMemo->setMinimumHeight(0);
    QFont memoFont(QStringLiteral("Arial"), 8, QFont::Bold);
    IpMemo->setFont(memoFont);
    IpMemo->setPlainText(QStringLiteral("debug output"));
    logColumn->addWidget(IpMemo);

    setCentralWidget(central);
}

void MainWindow::BuildMenus() {
    mainMenu_ = new QMenu(this);
    mainMenu_->setObjectName(QStringLiteral("PopupMenu1"));
    settingsAction_ = addMenuItem(mainMenu_, "N2", ormixIcon(IconTickedBox), QStringLiteral("Настройки"),
                                  &MainWindow::onSettingsClicked);
    computerListAction_ =
        addMenuItem(mainMenu_, "N3", ormixIcon(IconList), QStringLiteral("Список компьютеров"),
                    &MainWindow::onComputerListClicked);
    aboutAction_ = addMenuItem(mainMenu_, "N332", ormixIcon(IconPicture), QStringLiteral("О программе"),
                               &MainWindow::onAboutClicked);
    quitAction_ = addMenuItem(mainMenu_, "N5", ormixIcon(IconClose), QStringLiteral("Закрыть"),
                              &MainWindow::onQuitClicked);
    menuButton_->setMenu(mainMenu_);

    trayMenu_ = new QMenu(this);
    trayMenu_->setObjectName(QStringLiteral("SysMenu"));
    restoreAction_ =
        addMenuItem(trayMenu_, "SN3", QIcon(), QStringLiteral("Восстановить"), &MainWindow::onRestoreClicked);
    trayQuitAction_ =
        addMenuItem(trayMenu_, "N4", QIcon(), QStringLiteral("Закрыть"), &MainWindow::onTrayQuitClicked);
}

QAction* MainWindow::addMenuItem(QMenu* menu, const char* name, const QIcon& icon, const QString& text,
                                 void (MainWindow::*slot)()) {
    QAction* action = menu->addAction(icon, text);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void MainWindow::BuildTray() {
    TrayIcon = new QSystemTrayIcon(ormixIcon(IconComputerStar), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setToolTip(TitleText);
    TrayIcon->setContextMenu(trayMenu_);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            RestoreFromTray();
    });
    // Shown even while the desktop has no tray: it appears when a tray does
    // (the offscreen platform never has one).
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        TrayIcon->show();
}

bool MainWindow::TrayAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable() && TrayIcon->isVisible();
}

void MainWindow::PlaceLogButt() {
    LogButt->move(controlPanel_->width() - LogButt->width() - 2,
                  controlPanel_->height() - LogButt->height() - 2);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == controlPanel_ && event->type() == QEvent::Resize)
        PlaceLogButt();
    return QMainWindow::eventFilter(watched, event);
}

// --- message log ---

void MainWindow::AddLogLine(const QString& line) {
    if (QThread::currentThread() == thread()) {
        IpMemo->appendPlainText(line);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, line] { IpMemo->appendPlainText(line); }, Qt::QueuedConnection);
}

void MainWindow::onLogClicked() {
    const bool closed = LogPanel->maximumHeight() == kLogClosed;
    LogPanel->setFixedHeight(closed ? kLogOpen : kLogClosed);
    LogButt->setText(closed ? QStringLiteral("-") : QStringLiteral("+"));
}

// --- showing, hiding and the notification area ---

void MainWindow::setVisible(bool visible) {
    const bool firstShow = visible && !shown_;
    if (firstShow) {
        shown_ = true;
        CentreOnScreen();
        RestorePlacement();
    }
    QMainWindow::setVisible(visible);
    if (firstShow)
        FormShow();
}

void MainWindow::FormShow() {
    LogPanel->setFixedHeight(kLogClosed);
    LogButt->setText(QStringLiteral("+"));
    // The first automatic scan comes one second after the window appears.
    if (state_.settings().autoScan)
        StartCountdown(1000);
}

void MainWindow::HideIntoTray() {
    if (!TrayAvailable()) {
        showMinimized();
        return;
    }
    hiddenInTray_ = true;
    hide();
}

void MainWindow::RestoreFromTray() {
    hiddenInTray_ = false;
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !TrayAvailable())
        return;
    // Hiding from inside the state change confuses some window managers.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized() && isVisible())
            HideIntoTray();
    });
}

void MainWindow::onRestoreClicked() {
    RestoreFromTray();
}

// --- placement ---

int MainWindow::PixelsPerInch() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? qRound(s->logicalDotsPerInch()) : 96;
}

void MainWindow::CentreOnScreen() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void MainWindow::RestorePlacement() {
    const QRect now = geometry();
    const PlacementRect current{now.left(), now.top(), now.left() + now.width(), now.top() + now.height()};
    const auto stored = ReadFormPlacement(ormix::ConfigFile(placementFile()), PixelsPerInch(), current);
    if (!stored)
        return;
    const auto [left, top, right, bottom] = *stored;
    QRect wanted(left, top, right - left, bottom > top ? bottom - top : now.height());
    // A position stored on a screen that is gone would leave the window out of
    // reach: then only the size is taken and the window stays centred.
    bool onScreen = false;
    for (const QScreen* s : QGuiApplication::screens())
        onScreen = onScreen || s->availableGeometry().intersects(wanted);
    if (!onScreen)
        wanted.moveCenter(now.center());
    setGeometry(wanted);
}

void MainWindow::SavePlacement(bool destroying) {
    placementSaved_ = true;
    FormPlacement placement;
    placement.ShowCmd = (hiddenInTray_ || isMinimized()) ? 2 : isMaximized() ? 3 : 1;
    placement.PixelsPerInch = PixelsPerInch();
    const QRect normal = (isMaximized() || isFullScreen()) ? normalGeometry() : geometry();
    placement.NormPos = {normal.left(), normal.top(), normal.left() + normal.width(),
                         normal.top() + normal.height()};
    placement.Visible = destroying;
    ormix::ConfigFile file(placementFile());
    WriteFormPlacement(file, placement);
}

// --- closing and quitting ---

void MainWindow::closeEvent(QCloseEvent* event) {
    try {
        SavePlacement(false);
    } catch (const std::exception& e) {
        // Reported, but it must never keep the program from hiding or quitting.
        ReportError(QString::fromUtf8(e.what()));
    }
    if (!QuitRequested) {
        event->ignore();
        HideIntoTray();
        return;
    }
    try {
        SaveComputerListAtQuit();
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what())); // the quit goes on
    }
    event->accept();
    // The entry (app.cpp) then stops and joins every thread before the process ends.
    QCoreApplication::exit(0);
}

void MainWindow::SaveComputerListAtQuit() {
    emit ComputerListSaveWanted();
}

void MainWindow::onQuitClicked() {
    QuitRequested = true;
    close();
}

void MainWindow::onTrayQuitClicked() {
    QuitRequested = true;
    close();
}

// --- commands ---

void MainWindow::onComputerListClicked() {
    emit ComputerListWindowWanted();
}

void MainWindow::onSearchClicked() {
    if (!state_.settings().showShareCount) {
        QMessageBox::information(
            this, MessageBoxTitle(),
            QStringLiteral("Для поиска по ресурсам сети \nнеобходимо включить параметр \n"
                           "\"показывать количество ресурсов\""));
        return;
    }
    emit SearchWindowWanted();
}

void MainWindow::SettingsChanged() {
    const AppSettings& settings = state_.settings();
    // Each share worker goes by the snapshot in force when it was made.
    session_->SetShareSettings(std::make_shared<const ShareSettings>(
        ShareSettings{settings.showShareCount, settings.hideEmptyHosts, settings.excludedShares()}));
}

void MainWindow::onAboutClicked() {
    emit AboutBoxWanted();
}

void MainWindow::OpenHelpTopic(int topic) {
    ormix::OpenHelpTopic(HelpFile, topic, this);
}

} // namespace ormix

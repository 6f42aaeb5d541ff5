// The main window's side of a scan: start, the hosts the scanner reports, the
// bounded pool of share workers, the status lines and the gauge, the end of
// the scan, the auto-scan countdown and the settings command.
//
// Everything here runs on the main thread. The scanner reports on its own
// thread through WindowScanObserver, which queues each report to the window;
// queued calls to one receiver arrive in the order they were made, so hosts
// queue in the order the scanner found them and the scanner's end comes after
// its last host.
#include "gui/scancontrol.h"
#include "gui/application.h"

#include "settings/appsettings.h"

#include "gui/appstate.h"
#include "gui/mainwindow.h"
#include "gui/scansession.h"
#include "shares/smbpool.h"

#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QThread>
#include <QToolButton>

#include <algorithm>
#include <climits>

namespace ormix {

namespace {

// Hands what the scanner reports to the window's thread. Progress reports are
// folded: while one is on its way, later ones only update the number it shows.
class WindowScanObserver : public ScanObserver, public std::enable_shared_from_this<WindowScanObserver> {
public:
    explicit WindowScanObserver(MainWindow* window) : window_(window) {}

    void logLine(const std::string& line) override { window_->AddLogLine(QString::fromStdString(line)); }
    void foundHost(const HostTexts& host) override {
        post([window = window_, host] { window->AddFoundHost(host); });
    }
    void progressTotal(int64_t total) override {
        post([self = shared_from_this(), total] { self->total_(total); });
    }
    void progress(int64_t queriesSent) override {
        latest_ = queriesSent;
        if (progressQueued_.exchange(true))
            return;
        post([self = shared_from_this()] {
            self->progressQueued_ = false;
            self->progress_(self->latest_.load());
        });
    }
    void fatalMessage(const std::string& text) override {
        post([window = window_, text = QString::fromStdString(text)] { window->ShowMessage(text); });
    }
    void finished() override {
        post([window = window_] { window->ScannerDone(); });
    }

    std::function<void(int64_t)> total_;
    std::function<void(int64_t)> progress_;

private:
    template <typename F> void post(F&& call) {
        QMetaObject::invokeMethod(window_, std::forward<F>(call), Qt::QueuedConnection);
    }

    MainWindow* window_;
    std::atomic<int64_t> latest_{0};
    std::atomic<bool> progressQueued_{false};
};

// Seconds of the settings as a timer period; 0 or less never expires.
int64_t periodOf(int32_t seconds) {
    return static_cast<int64_t>(seconds) * 1000;
}

} // namespace

// Writes a status line. The lines have the fixed width of the window's
// design; where the desktop's font is wider, a long line (the one of the
// share count with its number at the end) is set smaller until it fits.
void SetStatusText(QLabel* label, const QString& text) {
    QFont font = label->parentWidget() ? label->parentWidget()->font() : label->font();
    const int room = label->contentsRect().width() - 2 * label->margin() - 2;
    const qreal smallest = font.pointSizeF() * 0.75;
    while (font.pointSizeF() > smallest && QFontMetrics(font).horizontalAdvance(text) > room)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    label->setFont(font);
    label->setText(text);
}

// --- CountdownTimer ---

CountdownTimer::CountdownTimer(QObject* parent) : QObject(parent) {
    connect(&timer_, &QTimer::timeout, this, &CountdownTimer::timeout);
}

void CountdownTimer::setInterval(int ms) {
    if (ms == interval_)
        return;
    interval_ = ms;
    arm();
}

void CountdownTimer::start() {
    if (running_)
        return;
    running_ = true;
    arm();
}

void CountdownTimer::stop() {
    running_ = false;
    arm();
}

int CountdownTimer::remainingTime() const {
    return timer_.isActive() ? timer_.remainingTime() : -1;
}

void CountdownTimer::arm() {
    if (running_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

// --- the scan control of the main window ---

void MainWindow::SetupScanControl() {
    AutoScanTimer = new CountdownTimer(this);
    AutoScanTimer->setObjectName(QStringLiteral("AutoScanTimer"));
    connect(AutoScanTimer, &CountdownTimer::timeout, this, &MainWindow::AutoScanTimerTimer);

    session_ = new ScanSession(this);
    session_->Log = [this](const std::string& line) { AddLogLine(QString::fromStdString(line)); };
    connect(session_, &ScanSession::HostListed, this, &MainWindow::InsertHostNode);
    connect(session_, &ScanSession::WorkerEnded, this, &MainWindow::ShareWorkerDone);
    connect(session_, &ScanSession::ScannerEnded, this, [this] {
        if (session_->RunningScanners <= 0) {
            ScanProgress->hide();
            AddHstTxt->show();
        }
    });
    connect(session_, &ScanSession::Finished, this, &MainWindow::ScanFinished);
    ShowMessage = [this](const QString& text) { QMessageBox::information(this, MessageBoxTitle(), text); };
}

void MainWindow::onScanClicked() {
    StartScan();
}

void MainWindow::StartScan() {
    // The button is disabled and the countdown waits while a scan runs, so a
    // scan never starts over another one.
    if (scanning_)
        return;
    ScanProgress->show();
    AddHstTxt->hide();
    ClearTree();
    emit ScanStarting();
    HostsWithShares = 0;
    HostsTotal = 0;
    // The tuning keys count from the next scan: read now, not kept.
    const AppSettings fresh = loadAppSettings(ConfigFile);
    foundThisScan_.clear();
    PendingOpens = 0;
    // MainTree sorts on header clicks only (SetupMainTree): new nodes keep their order of arrival.
    OnHostCntTxt->clear();
    scanning_ = true;
    ScanButt->setEnabled(false);
    SearchButt->setEnabled(false);
    IpMemo->clear();

    ScanOptions options;
    // The ranges in force now; a save during the scan counts from the next one.
    options.ranges = std::make_shared<const std::vector<std::string>>(state_.settings().ranges);
    const ormix::ConfigFile* config = &ConfigFile;
    options.selectTimeout = [config] { return configuredSelectTimeout(*config); };
    options.methods = fresh.scanMethods();
    options.retries = fresh.scanRetries;
    options.maxQueriesPerSecond = configuredQueriesPerSecond(ConfigFile);
    auto observer = std::make_shared<WindowScanObserver>(this);
    observer->total_ = [this](int64_t total) { ShowScanTotal(total); };
    observer->progress_ = [this](int64_t sent) { ShowScanProgress(sent); };
    session_->Start(std::move(options), std::move(observer), fresh.maxShareWorkers);
}

void MainWindow::AddFoundHost(const HostTexts& host) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, host] { AddFoundHost(host); }, Qt::QueuedConnection);
        return;
    }
    // Ranges that overlap may name a computer twice: it is one computer, with
    // one row, one share worker and one count.
    if (!foundThisScan_.insert(host.ip).second)
        return;
    state_.computers().recordComputer(host.ip, host.name, host.mac);
    emit ComputerFound(host.ip, discoveryMethodLabels(host.foundBy));
    session_->HostFound(host);
}

void MainWindow::ShareWorkerDone() {
    SetStatusText(OnHostCntTxt, QStringLiteral(" Компьютеров всего: %1, из них с ресурсами: %2")
                                    .arg(HostsTotal)
                                    .arg(HostsWithShares));
    ShowWorkersLeft();
}

void MainWindow::ShowWorkersLeft() {
    SetStatusText(AddHstTxt,
                  QStringLiteral(" Сканирование завершено.  Определение кол-ва ресурсов. Осталось: ") +
                      QString::number(session_->ActiveWorkers));
}

void MainWindow::ScannerDone() {
    session_->ScannerDone();
}

void MainWindow::ScanFinished() {
    if (!scanning_)
        return;
    scanning_ = false;
    ScanButt->setEnabled(true);
    SearchButt->setEnabled(true);
    AddLogLine(QStringLiteral("Scan complete!"));
    // Also closes the computer list window when it is open.
    emit ComputerListSaveWanted();
    emit ScanCompleted();
    if (state_.settings().autoScan)
        StartCountdown(periodOf(state_.settings().autoScanInterval));
    if (countdownDeferred_) {
        countdownDeferred_ = false;
        AutoScanTimerTimer();
    }
}

void MainWindow::ShowScanTotal(int64_t total) {
    scanTotal_ = total;
    ScanProgress->setValue(0);
}

void MainWindow::ShowScanProgress(int64_t queriesSent) {
    SetStatusText(TotHostTxt, QStringLiteral(" Просканировано адресов: ") + QString::number(queriesSent));
    // The gauge shows the share of the total, kept within 100 %; a total of 0 shows 0 %.
    int percent = 0;
    if (scanTotal_ > 0)
        percent = static_cast<int>(std::min<int64_t>(queriesSent, scanTotal_) * 100 / scanTotal_);
    ScanProgress->setValue(std::clamp(percent, 0, 100));
}

void MainWindow::StopAndJoinWorkers() {
    session_->StopAndJoin();
    for (const QPointer<QThread>& opener : openers_)
        if (opener)
            opener->wait();
    if (AutoScanTimer)
        AutoScanTimer->stop();
}

// --- the auto-scan countdown ---

void MainWindow::StartCountdown(int64_t periodMs) {
    AutoScanTimer->setInterval(static_cast<int>(std::clamp<int64_t>(periodMs, INT_MIN, INT_MAX)));
    AutoScanTimer->start();
}

void MainWindow::AutoScanTimerTimer() {
    AutoScanTimer->stop();
    if (scanning_) {
        countdownDeferred_ = true; // ScanFinished comes back here
        return;
    }
    AutoScanTimer->setInterval(static_cast<int>(
        std::clamp<int64_t>(periodOf(state_.settings().autoScanInterval), INT_MIN, INT_MAX)));
    StartScan();
}

// --- the settings command ---

void MainWindow::onSettingsClicked() {
    emit SettingsWindowWanted();
}

void MainWindow::SettingsWindowClosed(int result) {
    // Confirmed settings may change what the last scan's shares mean for a
    // search: the search waits for the next scan.
    if (result == QDialog::Accepted)
        SearchButt->setEnabled(false);
    if (state_.settings().autoScan)
        StartCountdown(periodOf(state_.settings().autoScanInterval));
}

} // namespace ormix

// The scan control of the main window: the worker pool and its queue, the
// status lines and the gauge, the end of a scan, the auto-scan countdown and
// the settings command. The scanner is played by the test.
#include "scan_test_util.h"

#include "gui/scancontrol.h"
#include "gui/settingswindow.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <thread>

namespace ormix::test {
namespace {

const QString kWorkersLeft = " Сканирование завершено.  Определение кол-ва ресурсов. Осталось: ";

class ScanControl : public ScanHarness {
protected:
    // Host names under the first group, in tree order.
    QStringList treeHosts() const {
        QStringList names;
        if (QTreeWidgetItem* group = dlg->MainTree->topLevelItem(0))
            for (int i = 0; i < group->childCount(); ++i)
                names << group->child(i)->text(0);
        return names;
    }
    QStringList rangeLstLines() const {
        QFile f(path("range.lst"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts);
    }
};

// Six hosts keep the six workers of the default pool busy; the seventh waits
// in the queue, whole, until a worker ends; the scan ends with the last worker.
TEST_F(ScanControl, SixWorkersThenAQueuedSeventh) {
    shareCounting(true);
    for (int i = 1; i <= 7; ++i)
        lister.shares["127.0.0." + std::to_string(i)] = {"Docs"};
    search->SearchShares = {ParseScannedShare("stale<>OLD")};
    dlg->IpMemo->setPlainText("old line");

    dlg->ScanButt->click();
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_FALSE(dlg->ScanButt->isEnabled());
    EXPECT_FALSE(dlg->SearchButt->isEnabled());
    EXPECT_FALSE(dlg->ScanProgress->isHidden());
    EXPECT_TRUE(dlg->AddHstTxt->isHidden());
    EXPECT_TRUE(search->StopRequested);
    EXPECT_TRUE(search->SearchShares.empty());
    EXPECT_TRUE(dlg->IpMemo->toPlainText().isEmpty());
    EXPECT_TRUE(dlg->OnHostCntTxt->text().isEmpty());

    // The scanner reports from its own thread; the seventh name holds commas.
    std::thread scanner([&] {
        observer->logLine("Port 2000 is ok..");
        for (int i = 1; i <= 6; ++i)
            observer->foundHost(host("HOST" + std::to_string(i), "127.0.0." + std::to_string(i)));
        observer->foundHost(host("SEVEN,WITH,COMMAS", "127.0.0.7", "W,G", ""));
    });
    scanner.join();
    ASSERT_TRUE(waitFor([&] { return lister.calls() == 6 && dlg->Session().PendingHosts.size() == 1; }));
    QTest::qWait(100);
    EXPECT_EQ(lister.calls(), 6);
    EXPECT_EQ(dlg->Session().ActiveWorkers, 6);
    EXPECT_EQ(dlg->Session().WorkerHandles.size(), 6);
    EXPECT_EQ(dlg->Session().PendingHosts.front().name, "SEVEN,WITH,COMMAS");
    EXPECT_EQ(dlg->Session().PendingHosts.front().workgroup, "W,G");
    EXPECT_EQ(lastLogLine(), "Port 2000 is ok..");

    lister.release(1);
    ASSERT_TRUE(waitFor([&] { return lister.calls() == 7; }));
    EXPECT_EQ(dlg->OnHostCntTxt->text(), " Компьютеров всего: 1, из них с ресурсами: 1");
    EXPECT_EQ(dlg->AddHstTxt->text(), kWorkersLeft + "5"); // written before the seventh started
    EXPECT_EQ(dlg->Session().ActiveWorkers, 6);
    EXPECT_TRUE(dlg->Session().PendingHosts.empty());

    observer->finished();
    ASSERT_TRUE(waitFor([&] { return dlg->Session().RunningScanners == 0; }));
    EXPECT_TRUE(dlg->ScanProgress->isHidden());
    EXPECT_FALSE(dlg->AddHstTxt->isHidden());
    EXPECT_TRUE(dlg->Scanning()) << "six workers still run";

    lister.open();
    ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
    EXPECT_EQ(dlg->OnHostCntTxt->text(), " Компьютеров всего: 7, из них с ресурсами: 7");
    EXPECT_EQ(dlg->AddHstTxt->text(), kWorkersLeft + "0");
    EXPECT_LE(QFontMetrics(dlg->AddHstTxt->font()).horizontalAdvance(dlg->AddHstTxt->text()),
              dlg->AddHstTxt->contentsRect().width())
        << "the count at the end of the line stays visible";
    EXPECT_TRUE(dlg->ScanButt->isEnabled());
    EXPECT_TRUE(dlg->SearchButt->isEnabled());
    EXPECT_EQ(lastLogLine(), "Scan complete!");
    QStringList hosts = treeHosts();
    hosts.sort();
    EXPECT_EQ(hosts,
              QStringList({"HOST1", "HOST2", "HOST3", "HOST4", "HOST5", "HOST6", "SEVEN,WITH,COMMAS"}));
    EXPECT_EQ(shareTexts(search->SearchShares).size(), 7);
    EXPECT_TRUE(shareTexts(search->SearchShares).contains("\\\\127.0.0.7\\Docs<>SEVEN,WITH,COMMAS"));
    // Saved at the end of the scan; the list keeps names without commas.
    const QStringList saved = rangeLstLines();
    ASSERT_EQ(saved.size(), 7);
    EXPECT_TRUE(saved[0].startsWith("127.0.0.7,SEVEN WITH COMMAS,,")) << saved[0].toStdString();
}

// The order of the queue is the order in which the scanner reported.
TEST_F(ScanControl, QueuedHostsStartInReportOrder) {
    dlg->ConfigFile.WriteNumber("main", "MaxAddThrds", 1);
    shareCounting(true);
    dlg->StartScan();
    std::thread scanner([&] {
        for (int i = 1; i <= 20; ++i)
            observer->foundHost(host("H" + std::to_string(i), "127.0.1." + std::to_string(i)));
        observer->finished();
    });
    scanner.join();
    lister.open();
    ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
    QStringList expected;
    for (int i = 1; i <= 20; ++i)
        expected << "H" + QString::number(i);
    EXPECT_EQ(treeHosts(), expected);
}

// MaxAddThrds 0: hosts stay queued, nothing reaches the tree, and the scan
// ends with the scanner. A scan that finds nobody ends the same way.
TEST_F(ScanControl, EndsWithTheScannerWhenNoWorkerRuns) {
    for (bool nobody : {false, true}) {
        SCOPED_TRACE(nobody ? "nobody answers" : "MaxAddThrds 0");
        dlg->ConfigFile.WriteNumber("main", "MaxAddThrds", nobody ? 6 : 0);
        dlg->StartScan();
        observer->progressTotal(10);
        if (!nobody) {
            observer->foundHost(host("A", "127.0.0.1"));
            observer->foundHost(host("B", "127.0.0.2"));
        }
        observer->progress(5);
        observer->finished();
        ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
        EXPECT_EQ(dlg->Session().PendingHosts.size(), nobody ? 0u : 2u);
        EXPECT_EQ(dlg->MainTree->topLevelItemCount(), 0);
        EXPECT_EQ(lister.calls(), 0);
        EXPECT_EQ(dlg->TotHostTxt->text(), " Просканировано адресов: 5");
        EXPECT_EQ(dlg->ScanProgress->value(), 50);
        EXPECT_TRUE(dlg->ScanProgress->isHidden());
        EXPECT_EQ(dlg->AddHstTxt->text(), "-") << "no worker ended since the scanner did";
        EXPECT_TRUE(dlg->OnHostCntTxt->text().isEmpty());
        EXPECT_EQ(lastLogLine(), "Scan complete!");
        EXPECT_TRUE(dlg->ScanButt->isEnabled());
        EXPECT_EQ(rangeLstLines().size(), 2);
    }
}

// With share counting on and empty hosts hidden, a host without shares is in
// the computer list but neither in the tree nor in the counters.
TEST_F(ScanControl, DroppedHostIsOnlyInTheComputerList) {
    shareCounting(true, true);
    lister.shares["127.0.0.1"] = {"Docs"};
    lister.open();
    dlg->StartScan();
    observer->foundHost(host("FULL", "127.0.0.1"));
    observer->foundHost(host("EMPTY", "127.0.0.2"));
    observer->finished();
    ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
    EXPECT_EQ(treeHosts(), QStringList{"FULL"});
    EXPECT_EQ(dlg->OnHostCntTxt->text(), " Компьютеров всего: 1, из них с ресурсами: 1");
    EXPECT_EQ(rangeLstLines().size(), 2);
}

// Ranges that overlap report a computer twice: one listing, one row, one count.
TEST_F(ScanControl, ComputerReportedTwiceIsOneRow) {
    shareCounting(true);
    lister.shares["127.0.0.12"] = {"Docs"};
    lister.open();
    dlg->StartScan();
    observer->foundHost(host("TWICE", "127.0.0.12"));
    observer->foundHost(host("OTHER", "127.0.0.11"));
    observer->foundHost(host("TWICE", "127.0.0.12"));
    observer->finished();
    ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
    QStringList hosts = treeHosts();
    hosts.sort();
    EXPECT_EQ(hosts, QStringList({"OTHER", "TWICE"}));
    EXPECT_EQ(lister.calls(), 2);
    EXPECT_EQ(dlg->OnHostCntTxt->text(), " Компьютеров всего: 2, из них с ресурсами: 1");
    EXPECT_EQ(shareTexts(search->SearchShares), QStringList{"\\\\127.0.0.12\\Docs<>TWICE"});
    EXPECT_EQ(rangeLstLines().size(), 2);

    // The next scan finds it again.
    dlg->StartScan();
    observer->foundHost(host("TWICE", "127.0.0.12"));
    observer->finished();
    ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
    EXPECT_EQ(treeHosts(), QStringList{"TWICE"});
}

// The gauge shows the share of the total, kept within 100 %, and 0 % for a
// total of 0 (single addresses); progress may come from the scanner's thread.
TEST_F(ScanControl, GaugeFollowsTheScanner) {
    dlg->StartScan();
    const struct {
        int64_t total, sent;
        int percent;
    } cases[] = {
        {200, 1, 0}, {200, 100, 50}, {200, 250, 100}, {0, 5, 0}, {int64_t(1) << 33, int64_t(1) << 32, 50}};
    for (const auto& c : cases) {
        std::thread([&] {
            observer->progressTotal(c.total);
            observer->progress(c.sent);
        }).join();
        ASSERT_TRUE(waitFor([&] {
            return dlg->TotHostTxt->text() == " Просканировано адресов: " + QString::number(c.sent);
        }));
        EXPECT_EQ(dlg->ScanProgress->value(), c.percent) << c.total << " " << c.sent;
    }
    observer->finished();
    ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
}

// "Закрыть" during a scan saves the computer list and ends the event loop at
// once; a share worker blocked in its network call is left running.
TEST_F(ScanControl, QuitDoesNotWaitForShareWorkers) {
    shareCounting(true);
    dlg->show();
    dlg->StartScan();
    observer->foundHost(host("BUSY", "127.0.0.9"));
    ASSERT_TRUE(waitFor([&] { return lister.calls() == 1; }));
    QTimer::singleShot(0, dlg->quitAction_, &QAction::trigger);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(3000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    ASSERT_EQ(dlg->Session().WorkerHandles.size(), 1);
    EXPECT_TRUE(dlg->Session().WorkerHandles[0] && dlg->Session().WorkerHandles[0]->isRunning());
    const QStringList saved = rangeLstLines();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(saved[0].startsWith("127.0.0.9,BUSY,")) << saved[0].toStdString();
}

// --- the auto-scan countdown ---

class Countdown : public ScanControl {
protected:
    void autoScan(bool on, int seconds) {
        dlg->editSettings([&](AppSettings& s) {
            s.autoScan = on;
            s.autoScanInterval = seconds;
        });
    }
    void finishScan() {
        observer->finished();
        ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
    }
};

TEST_F(Countdown, FirstScanOneSecondAfterShowThenTheIntervalFromEachEnd) {
    autoScan(true, 7);
    QElapsedTimer clock;
    clock.start();
    dlg->show();
    EXPECT_TRUE(dlg->AutoScanTimer->isRunning());
    EXPECT_EQ(dlg->AutoScanTimer->interval(), 1000);
    ASSERT_TRUE(waitFor([&] { return !launched.empty(); }, 5000));
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_FALSE(dlg->AutoScanTimer->isRunning()) << "no countdown while the scan runs";
    EXPECT_EQ(dlg->AutoScanTimer->interval(), 7000);
    finishScan();
    EXPECT_TRUE(dlg->AutoScanTimer->isRunning());
    EXPECT_GT(dlg->AutoScanTimer->remainingTime(), 6000);
}

TEST_F(Countdown, ExpiryDuringAScanWaitsForItsEnd) {
    autoScan(true, 30);
    dlg->StartScan();
    dlg->AutoScanTimerTimer();
    EXPECT_EQ(launched.size(), 1u) << "no second scan over the first";
    observer->finished();
    ASSERT_TRUE(waitFor([&] { return launched.size() == 2; }))
        << "the deferred expiry starts the next scan at once";
    EXPECT_EQ(lastLogLine(), "") << "the log of the new scan is empty";
    EXPECT_TRUE(dlg->Scanning());
    EXPECT_FALSE(dlg->AutoScanTimer->isRunning());
    finishScan();
    EXPECT_TRUE(dlg->AutoScanTimer->isRunning());
    EXPECT_EQ(launched.size(), 2u);
}

TEST_F(Countdown, SwitchedOffItStillScansOnceThenStops) {
    autoScan(true, 30);
    dlg->show();
    ASSERT_TRUE(dlg->AutoScanTimer->isRunning());
    autoScan(false, 30);
    EXPECT_TRUE(dlg->AutoScanTimer->isRunning()) << "a running countdown is not stopped";
    dlg->AutoScanTimerTimer(); // its expiry
    EXPECT_EQ(launched.size(), 1u);
    finishScan();
    EXPECT_FALSE(dlg->AutoScanTimer->isRunning());
}

TEST_F(Countdown, IntervalZeroScansOnceAfterStartThenNeverAgain) {
    autoScan(true, 0);
    dlg->show();
    ASSERT_TRUE(waitFor([&] { return !launched.empty(); }, 5000));
    finishScan();
    EXPECT_EQ(dlg->AutoScanTimer->remainingTime(), -1) << "a period of 0 never expires";
    QTest::qWait(1300);
    EXPECT_EQ(launched.size(), 1u);
}

TEST_F(Countdown, SamePeriodGoesOnUndisturbedAndANewOneStartsOver) {
    CountdownTimer timer;
    int expired = 0;
    QObject::connect(&timer, &CountdownTimer::timeout, [&] { ++expired; });
    // (Timers of seconds may fire up to 5 % early or late: the margins are wider.)
    timer.setInterval(5000);
    timer.start();
    QTest::qWait(1000);
    timer.setInterval(5000);
    timer.start();
    EXPECT_LT(timer.remainingTime(), 4500) << "restarted although nothing changed";
    timer.setInterval(60000);
    EXPECT_GT(timer.remainingTime(), 50000) << "a new period starts over";
    timer.setInterval(50);
    EXPECT_TRUE(waitFor([&] { return expired > 0; }, 2000));
    timer.stop();
    timer.setInterval(20);
    QTest::qWait(100);
    EXPECT_EQ(expired, 1) << "a stopped countdown stays stopped when its period changes";
    EXPECT_FALSE(timer.isRunning());
}

// --- the settings command ---

TEST_F(Countdown, SettingsCommandDisablesSearchOnlyWhenConfirmedAndArmsTheCountdown) {
    dlg->ConfigFile.WriteFlag("main", "AutoScan", true);
    dlg->ConfigFile.WriteNumber("main", "AutoScanInterval", 40);
    SettingsWindow setup(dlg->State(), {});
    setup.ShowMessage = [this](const QString& text) { messages.append(text); };
    ProgramWindows windows;
    windows.main = dlg.get();
    windows.settings = &setup;
    ConnectWindows(windows);

    dlg->StartScan();
    finishScan();
    dlg->AutoScanTimer->stop();
    ASSERT_TRUE(dlg->SearchButt->isEnabled());

    QTimer::singleShot(0, setup.cancelButton_, &QToolButton::click); // "Отмена"
    dlg->onSettingsClicked();
    EXPECT_TRUE(dlg->SearchButt->isEnabled()) << "cancelled";
    EXPECT_TRUE(dlg->AutoScanTimer->isRunning());
    EXPECT_EQ(dlg->AutoScanTimer->interval(), 40000);

    QTimer::singleShot(0, setup.saveButton_, &QToolButton::click); // "Сохранить"
    dlg->onSettingsClicked();
    EXPECT_FALSE(dlg->SearchButt->isEnabled()) << "confirmed";
    EXPECT_TRUE(dlg->ScanButt->isEnabled());

    dlg->StartScan();
    finishScan();
    EXPECT_TRUE(dlg->SearchButt->isEnabled()) << "until the next scan finishes";
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

// --- the scan session alone ---

// No window: the session bounds its pool, queues the rest, posts every
// computer and ends once, after the scanner and the last worker.
TEST(ScanSessionAlone, RunsTheWorkerPoolWithoutAWindow) {
    ScanSession session;
    GatedLister lister;
    for (int i = 1; i <= 3; ++i)
        lister.shares["127.0.0." + std::to_string(i)] = {"Docs"};
    session.Lister = lister.lister();
    session.SetShareSettings(std::make_shared<const ShareSettings>(ShareSettings{true, false, {}}));
    int launched = 0, workersEnded = 0, finished = 0;
    QStringList listed;
    session.LaunchScanner = [&](ScanOptions, std::shared_ptr<ScanObserver>) { ++launched; };
    QObject::connect(&session, &ScanSession::HostListed, [&](const HostInfo& host) {
        listed << QString::fromStdString(host.Name + ":" + std::to_string(host.ShareCount));
    });
    QObject::connect(&session, &ScanSession::WorkerEnded, [&] { ++workersEnded; });
    QObject::connect(&session, &ScanSession::Finished, [&] { ++finished; });

    session.Start({}, nullptr, 2);
    EXPECT_EQ(launched, 1);
    for (int i = 1; i <= 3; ++i) {
        HostTexts host;
        host.name = "H" + std::to_string(i);
        host.ip = "127.0.0." + std::to_string(i);
        session.HostFound(host);
    }
    EXPECT_EQ(session.ActiveWorkers, 2);
    EXPECT_EQ(session.PendingHosts.size(), 1u);
    session.ScannerDone();
    EXPECT_TRUE(session.Busy());
    EXPECT_EQ(finished, 0);

    lister.open();
    ASSERT_TRUE(waitFor([&] { return finished > 0; }));
    QCoreApplication::processEvents();
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"H1:1", "H2:1", "H3:1"}));
    EXPECT_EQ(workersEnded, 3);
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(session.Busy());
    session.StopAndJoin();
}

} // namespace
} // namespace ormix::test

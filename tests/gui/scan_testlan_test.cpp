// A whole scan from the main window against the real Samba hosts of
// tools/testlan (an instance of its own, removed again at the end): the real
// scanner, share workers on SMB helpers, the tree, the counters, excluded
// shares, hidden empty hosts and "range.lst".
#include "scan_test_util.h"

#include "fixtures/files.h"
#include "fixtures/testlan.h"
#include "gui/app.h"
#include "gui/scansession.h"
#include "gui/searchwindow.h"
#include "search/smbjobs.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeWidget>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

namespace ormix::test {
namespace {

std::unique_ptr<ormix::testing::TestLan> g_lan;
std::string g_skip;

class ScanTestLan : public ScanHarness {
protected:
    static void SetUpTestSuite() {
        g_lan = std::make_unique<ormix::testing::TestLan>("scanui-" + std::to_string(::getpid()));
        // The test's main thread, and the scanner, workers and helpers it
        // starts, live in the LAN from now on.
        g_skip = g_lan->upAndEnter();
    }
    static void TearDownTestSuite() { g_lan.reset(); }
    void SetUp() override {
        if (!g_skip.empty())
            GTEST_SKIP() << g_skip;
        ScanHarness::SetUp();
        SmbPoolOptions options;
        options.helperPath = ormix::testing::binDir() + "/ormix-smb";
        pool = std::make_unique<SmbHelperPool>(options);
        dlg->Session().Lister = poolLister(*pool);
        dlg->Session().LaunchScanner = [](ScanOptions o, std::shared_ptr<ScanObserver> obs) {
            std::make_shared<Scanner>(std::move(o), std::move(obs))->start();
        };
    }
    void TearDown() override {
        if (!g_skip.empty())
            return;
        ScanHarness::TearDown();
        pool.reset();
    }

    void scan() {
        dlg->ScanButt->click();
        ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }, 90000));
    }
    // "GROUP: HOST(count) HOST(count)" with hosts in name order.
    QString outline() const {
        QStringList groups;
        for (int g = 0; g < dlg->MainTree->topLevelItemCount(); ++g) {
            QTreeWidgetItem* group = dlg->MainTree->topLevelItem(g);
            QStringList hosts;
            for (int h = 0; h < group->childCount(); ++h)
                hosts << group->child(h)->text(0) + "(" + group->child(h)->text(2) + ")";
            hosts.sort();
            groups << group->text(0) + ": " + hosts.join(' ');
        }
        groups.sort();
        return groups.join(" | ");
    }
    QTreeWidgetItem* node(const QString& text) const {
        const auto found = dlg->MainTree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    QStringList children(const QString& host) const {
        QStringList names;
        if (QTreeWidgetItem* h = node(host))
            for (int i = 0; i < h->childCount(); ++i)
                names << h->child(i)->text(0);
        names.sort();
        return names;
    }

    std::unique_ptr<SmbHelperPool> pool;
};

TEST_F(ScanTestLan, TreeCountersExclusionsAndTheComputerList) {
    ConfigFile& cfg = dlg->ConfigFile;
    cfg.WriteText("main", "iprange", "127.0.0.10-15");
    cfg.WriteNumber("main", "ShowResCount", 1);
    cfg.WriteNumber("main", "EmptyRes", 0);
    cfg.WriteFlag("main", "GroupByWrkGrp", true);
    cfg.WriteText("main", "ExcludeRes", "ADMIN$,c$");
    cfg.WriteNumber("main", "select_timeout_sec", 1);
    dlg->State().reloadSettings();

    scan();
    EXPECT_EQ(outline(), "OFFICE: CHARLIE(0) DELTA(121) ECHO(0) | TESTLAN: ALPHA(3) BRAVO(3)");
    EXPECT_EQ(children("ALPHA"),
              QStringList({"\\\\127.0.0.11\\Docs", "\\\\127.0.0.11\\IPC$", "\\\\127.0.0.11\\Public"}));
    EXPECT_EQ(node("\\\\127.0.0.11\\Docs")->text(1), "Документы отдела");
    EXPECT_EQ(children("BRAVO"),
              QStringList({"\\\\127.0.0.12\\IPC$", "\\\\127.0.0.12\\Music", "\\\\127.0.0.12\\Архив"}));
    EXPECT_EQ(node("ALPHA")->text(1), "127.0.0.11");
    EXPECT_EQ(node("ALPHA")->text(3), "02-00-00-00-00-01");
    EXPECT_EQ(node("DELTA")->text(3), "02-00-00-00-00-04");
    EXPECT_EQ(dlg->OnHostCntTxt->text(), " Компьютеров всего: 5, из них с ресурсами: 3");
    EXPECT_EQ(dlg->AddHstTxt->text(), " Сканирование завершено.  Определение кол-ва ресурсов. Осталось: 0");
    EXPECT_EQ(dlg->TotHostTxt->text(), " Просканировано адресов: 6");
    EXPECT_EQ(search->SearchShares.size(), 127u);
    EXPECT_TRUE(shareTexts(search->SearchShares).contains("\\\\127.0.0.12\\Архив<>BRAVO"));
    const QString log = dlg->IpMemo->toPlainText();
    EXPECT_TRUE(log.contains("Share Enumerate Error #5 (host \\\\127.0.0.13)")) << log.toStdString();
    EXPECT_TRUE(log.contains("Share Enumerate Error #53 (host \\\\127.0.0.15)"));
    EXPECT_TRUE(log.startsWith("Trying to bind port 2000\nPort 2000 is ok..")) << log.toStdString();
    EXPECT_TRUE(log.endsWith("Scan complete!"));
    EXPECT_TRUE(dlg->SearchButt->isEnabled());

    QFile list(path("range.lst"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    QStringList records = QString::fromUtf8(list.readAll()).split("\r\n", Qt::SkipEmptyParts);
    for (QString& r : records)
        r = r.section(',', 0, 2);
    records.sort();
    EXPECT_EQ(records,
              QStringList({"127.0.0.11,ALPHA,02-00-00-00-00-01", "127.0.0.12,BRAVO,02-00-00-00-00-02",
                           "127.0.0.13,CHARLIE,02-00-00-00-00-03", "127.0.0.14,DELTA,02-00-00-00-00-04",
                           "127.0.0.15,ECHO,02-00-00-00-00-05"}));

    // Computers without shares hidden: they leave the tree, not the list.
    cfg.WriteNumber("main", "EmptyRes", 1);
    dlg->State().reloadSettings();
    scan();
    EXPECT_EQ(outline(), "OFFICE: DELTA(121) | TESTLAN: ALPHA(3) BRAVO(3)");
    EXPECT_EQ(dlg->OnHostCntTxt->text(), " Компьютеров всего: 3, из них с ресурсами: 3");
    list.close();
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(list.readAll()).count("\r\n"), 5);
}

// The computers NetBIOS does not see: GOLF through its SMB port, INDIA through
// WS-Discovery as well, which alone names its workgroup. The tree and the
// computer list tell how each was found, and their shares reach the search.
TEST_F(ScanTestLan, ComputersFoundWithoutNetbios) {
    ConfigFile& cfg = dlg->ConfigFile;
    cfg.WriteText("main", "iprange", "127.0.0.16-18");
    cfg.WriteNumber("main", "ShowResCount", 1);
    cfg.WriteFlag("main", "GroupByWrkGrp", true);
    cfg.WriteNumber("main", "select_timeout_sec", 1);
    dlg->State().reloadSettings();

    scan();
    QTreeWidgetItem* india = node("INDIA");
    ASSERT_TRUE(india) << outline().toStdString();
    EXPECT_EQ(india->parent()->text(0), "WSDGROUP");
    EXPECT_EQ(india->text(1), "127.0.0.18");
    EXPECT_EQ(india->toolTip(0), "Найден: Порт SMB (445), WS-Discovery");
    EXPECT_EQ(children("INDIA"),
              QStringList({"\\\\127.0.0.18\\IPC$", "\\\\127.0.0.18\\Media", "\\\\127.0.0.18\\Projects"}));
    EXPECT_NE(std::find(search->SearchShares.begin(), search->SearchShares.end(),
                        ScannedShare{"\\\\127.0.0.18\\Projects", "INDIA"}),
              search->SearchShares.end());
    ASSERT_TRUE(node("GOLF"));
    EXPECT_EQ(node("GOLF")->toolTip(0), "Найден: Порт SMB (445)");
    EXPECT_EQ(node("GOLF")->parent()->text(0), ""); // a stand-alone server names no workgroup
    EXPECT_EQ(node("HOTEL")->toolTip(0), "Найден: NetBIOS, Порт SMB (445)");

    computers->show();
    const auto rows = computers->AddrList->findItems("127.0.0.18", Qt::MatchExactly, 0);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->text(1), "INDIA");
    EXPECT_EQ(rows[0]->toolTip(1), "Найден: Порт SMB (445), WS-Discovery");
    computers->close();
}

// The quit: the program stops and joins every thread it started, also while
// search workers walk the shares, and while a scan waits for answers and share
// workers list DELTA's 120 shares; cfg.ini and range.lst stay whole.
class QuitTestLan : public ScanTestLan {
protected:
    void configure(int selectTimeoutSeconds) {
        ConfigFile& cfg = dlg->ConfigFile;
        cfg.WriteText("main", "iprange", "127.0.0.10-15");
        cfg.WriteNumber("main", "ShowResCount", 1);
        cfg.WriteNumber("main", "select_timeout_sec", selectTimeoutSeconds);
        // Node-status answers only: with the other methods too, a range's
        // hosts arrive together at its end, after the long closing wait.
        cfg.WriteNumber("main", "ScanSmb", 0);
        cfg.WriteNumber("main", "ScanWsd", 0);
        dlg->State().reloadSettings();
    }
    // Runs the quit's stop-and-join and prints how long it took.
    void quit(const char* what) {
        const auto t0 = std::chrono::steady_clock::now();
        computers->SaveComputerList(); // as the window's close does before the event loop ends
        StopAndJoinEverything(*pool, dlg.get(), search.get());
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
                .count();
        std::printf("quit %s: every thread joined after %lld ms\n", what, static_cast<long long>(ms));
        for (const QPointer<ShareListWorker>& w : dlg->Session().WorkerHandles)
            EXPECT_TRUE(!w || w->isFinished());
    }
};

TEST_F(QuitTestLan, DuringASearch) {
    configure(1);
    scan();
    ASSERT_GT(search->SearchShares.size(), 120u); // DELTA's alone
    HelperShareWalker walker(*pool);
    search->SetShareWalker(&walker);
    search->SrchStr->setText("*");
    search->StartSearch();
    ASSERT_TRUE(waitFor([&] { return search->FoundFiles > 0; }, 30000));
    ASSERT_TRUE(search->Searching()) << "the search ended before the quit could interrupt it";
    const std::string cfgBefore = ormix::testing::readFile(dlg->ConfigFile.Path());
    quit("during a search");
    QCoreApplication::processEvents(); // what the workers posted last arrives
    EXPECT_EQ(ormix::testing::readFile(dlg->ConfigFile.Path()), cfgBefore);
}

TEST_F(QuitTestLan, DuringAScan) {
    configure(30); // the scanner would wait 30 s for late answers
    dlg->Session().LaunchScanner = [d = dlg.get()](ScanOptions o, std::shared_ptr<ScanObserver> obs) {
        d->Session().StartOwnScanner(std::move(o), std::move(obs));
    };
    const std::string cfgBefore = ormix::testing::readFile(dlg->ConfigFile.Path());
    dlg->ScanButt->click();
    ASSERT_TRUE(waitFor([&] { return dlg->HostsTotal > 0 || dlg->Session().ActiveWorkers > 0; }, 30000));
    EXPECT_TRUE(dlg->Scanning());
    quit("during a scan");
    QCoreApplication::processEvents();
    EXPECT_EQ(ormix::testing::readFile(dlg->ConfigFile.Path()), cfgBefore);
    const QStringList records =
        QString::fromStdString(ormix::testing::readFile(path("range.lst").toStdString()))
            .split("\r\n", Qt::SkipEmptyParts);
    EXPECT_FALSE(records.isEmpty());
    for (const QString& r : records)
        EXPECT_GE(r.count(','), 2) << r.toStdString();
}

} // namespace
} // namespace ormix::test

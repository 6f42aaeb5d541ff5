// The network tree: columns, the two grouping rules (also switched during a
// scan), share nodes and SearchShares, sorting by header clicks, opening a
// node through the launcher, and the tree menu.
#include "scan_test_util.h"

#include "gui/drivewindow.h"
#include "gui/icons.h"
#include "gui/maintree.h"
#include "platform/recording_launcher.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <condition_variable>

namespace ormix::test {
namespace {

HostInfo hostinf(const std::string& name, const std::string& ip, const std::string& workgroup,
                 std::vector<std::string> shares = {}) {
    HostInfo h;
    h.Name = name;
    h.Ip = ip;
    h.Workgroup = workgroup;
    h.Mac = "02-00-00-00-00-01";
    for (const std::string& s : shares)
        h.addShare("\\\\" + ip + "\\" + s, s == "Docs" ? "Документы" : "");
    return h;
}

class MainTreeTest : public ScanHarness {
protected:
    void grouping(bool on) {
        dlg->editSettings([on](AppSettings& s) { s.groupByWorkgroup = on; });
    }
    // "group: host host | group: host" of the top two levels.
    QString outline() const {
        QStringList groups;
        for (int g = 0; g < dlg->MainTree->topLevelItemCount(); ++g) {
            QTreeWidgetItem* group = dlg->MainTree->topLevelItem(g);
            QStringList hosts;
            for (int h = 0; h < group->childCount(); ++h)
                hosts << group->child(h)->text(0);
            groups << group->text(0) + ": " + hosts.join(' ');
        }
        return groups.join(" | ");
    }
    QTreeWidgetItem* hostNode(const QString& name) const {
        const auto found = dlg->MainTree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    QStringList column(QTreeWidgetItem* parent, int c) const {
        QStringList texts;
        for (int i = 0; i < parent->childCount(); ++i)
            texts << parent->child(i)->text(c);
        return texts;
    }
};

TEST_F(MainTreeTest, ColumnsMenuAndLook) {
    QTreeWidget* tree = dlg->MainTree;
    const struct {
        const char* caption;
        int width;
        const char* hint;
    } columns[] = {
        {"Название", 250, "Название компьютера или ресурса"},
        {"IP / Описание", 130, "IP адрес компьютера или описание ресурса"},
        {"#", 40, "Количество открытых ресурсов на компьютере"},
        {"MAC адрес", 120, "MAC адрес"},
    };
    ASSERT_EQ(tree->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(tree->headerItem()->text(c), QString::fromUtf8(columns[c].caption));
        EXPECT_EQ(tree->headerItem()->toolTip(c), QString::fromUtf8(columns[c].hint));
        EXPECT_EQ(tree->columnWidth(c), columns[c].width);
    }
    QHeaderView* header = tree->header();
    EXPECT_TRUE(header->sectionsClickable());
    EXPECT_EQ(header->maximumSectionSize(), 10000);
    EXPECT_EQ(header->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_FALSE(tree->isSortingEnabled()) << "sorted by header clicks only";
    EXPECT_EQ(tree->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(tree->palette().color(QPalette::Base), QColor(0xEB, 0xEB, 0xEB));
    EXPECT_EQ(tree->palette().color(QPalette::Highlight), QColor(0xD2, 0xD2, 0xD2));

    dlg->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(header->height(), 19);
    dlg->InsertHostNode(hostinf("A", "127.0.0.1", "WG", {"Docs"}));
    tree->expandAll();
    EXPECT_EQ(tree->visualItemRect(hostNode("A")).height(), 17);

    const struct {
        QAction* action;
        const char* text;
        int picture;
    } items[] = {{dlg->openAction_, "Открыть", IconOpenFolder},
                 {dlg->collapseAllAction_, "Свернуть все", IconMinusBox},
                 {dlg->expandAllAction_, "Развернуть все", IconPlusBox},
                 {dlg->mapDriveAction_, "Подключить сетевой диск", IconNetworkDrive},
                 {dlg->signInAsAction_, "Войти как…", IconComputer}};
    ASSERT_EQ(dlg->treeMenu_->actions().size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(dlg->treeMenu_->actions()[i], items[i].action);
        EXPECT_EQ(items[i].action->text(), QString::fromUtf8(items[i].text));
        EXPECT_EQ(items[i].action->icon().pixmap(16).toImage(),
                  ormixIcon(items[i].picture).pixmap(16).toImage());
    }
    EXPECT_EQ(tree->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(MainTreeTest, HostAndShareNodes) {
    search->SearchShares.clear();
    HostInfo alphaInfo = hostinf("ALPHA", "127.0.0.11", "TESTLAN", {"Docs", "Public"});
    alphaInfo.FoundBy = discoveryMethodLabels(kFoundByNetbios | kFoundBySmb);
    dlg->InsertHostNode(alphaInfo);
    dlg->InsertHostNode(hostinf("ECHO", "127.0.0.15", "TESTLAN"));

    QTreeWidgetItem* group = dlg->MainTree->topLevelItem(0);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->text(0), "Вся сеть");
    EXPECT_TRUE(group->isExpanded());
    EXPECT_EQ(nodeKind(group), TreeNodeKind::Group);

    QTreeWidgetItem* alpha = group->child(0);
    EXPECT_EQ(alpha->text(0), "ALPHA");
    EXPECT_EQ(alpha->text(1), "127.0.0.11");
    EXPECT_EQ(alpha->text(2), "2");
    EXPECT_EQ(alpha->text(3), "02-00-00-00-00-01");
    EXPECT_EQ(alpha->toolTip(0), "Найден: NetBIOS, Порт SMB (445)");
    EXPECT_FALSE(alpha->isExpanded());
    EXPECT_EQ(nodeKind(alpha), TreeNodeKind::Host);
    EXPECT_EQ(column(alpha, 0), QStringList({"\\\\127.0.0.11\\Docs", "\\\\127.0.0.11\\Public"}));
    EXPECT_EQ(column(alpha, 1), QStringList({"Документы", ""}));
    EXPECT_EQ(nodeKind(alpha->child(0)), TreeNodeKind::Share);

    QTreeWidgetItem* echo = group->child(1);
    EXPECT_EQ(echo->toolTip(0), "");
    EXPECT_EQ(echo->text(2), "0");
    EXPECT_EQ(echo->childCount(), 0);
    EXPECT_EQ(echo->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);

    const auto picture = [](QTreeWidgetItem* node) { return node->icon(0).pixmap(16).toImage(); };
    EXPECT_EQ(picture(group), ormixIcon(IconNetwork).pixmap(16).toImage());
    EXPECT_EQ(picture(alpha), ormixIcon(IconComputer).pixmap(16).toImage());
    EXPECT_EQ(picture(alpha->child(0)), ormixIcon(IconSharedFolder).pixmap(16).toImage());

    EXPECT_EQ(shareTexts(search->SearchShares),
              QStringList({"\\\\127.0.0.11\\Docs<>ALPHA", "\\\\127.0.0.11\\Public<>ALPHA"}));
    EXPECT_EQ(dlg->HostsTotal, 2);
    EXPECT_EQ(dlg->HostsWithShares, 1);

    // More than 100 shares all arrive.
    std::vector<std::string> many;
    for (int i = 1; i <= 120; ++i)
        many.push_back("Share" + std::to_string(i));
    dlg->InsertHostNode(hostinf("DELTA", "127.0.0.14", "OFFICE", many));
    EXPECT_EQ(hostNode("DELTA")->childCount(), 120);
    EXPECT_EQ(hostNode("DELTA")->text(2), "120");
}

TEST_F(MainTreeTest, GroupingRulesAlsoWhenSwitchedDuringAScan) {
    const struct {
        const char* name;
        const char* workgroup;
        int grouping; // -1 off, 1 on
    } steps[] = {
        {"A", "WORKGROUP", 1}, {"B", "OFFICE", 1},  {"C", "workgroup", 1},
        {"D", "", 1},          {"E", "OFFICE", -1}, // off: under the first top-level node, whatever its text
        {"F", "Офис", 1},      {"G", "оФИС", 1},
    };
    int last = 0;
    for (const auto& s : steps) {
        grouping(s.grouping > 0);
        dlg->InsertHostNode(hostinf(s.name, "127.0.0." + std::to_string(++last), s.workgroup));
    }
    EXPECT_EQ(outline(), "WORKGROUP: A C E | OFFICE: B | : D | Офис: F G");

    dlg->StartScan();
    EXPECT_EQ(dlg->MainTree->topLevelItemCount(), 0);
    grouping(false);
    dlg->InsertHostNode(hostinf("P", "127.0.0.1", "WG"));
    grouping(true);
    dlg->InsertHostNode(hostinf("Q", "127.0.0.2", "WG"));
    dlg->InsertHostNode(hostinf("R", "127.0.0.3", "вся СЕТЬ"));
    EXPECT_EQ(outline(), "Вся сеть: P R | WG: Q");
    observer->finished();
    ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
}

// One address is one row: a second insertion (a sign-in that listed the
// shares, or a computer reported twice) replaces the row, its counts and its
// search entries.
TEST_F(MainTreeTest, SecondInsertionOfAnAddressReplacesItsRow) {
    dlg->InsertHostNode(hostinf("ALPHA", "127.0.0.11", "WG", {"Docs"}));
    dlg->InsertHostNode(hostinf("BETA", "127.0.0.12", "WG"));
    dlg->InsertHostNode(hostinf("ALPHA", "127.0.0.11", "WG", {"Docs", "Public"}));
    EXPECT_EQ(outline(), "Вся сеть: BETA ALPHA");
    ASSERT_NE(hostNode("ALPHA"), nullptr);
    EXPECT_EQ(column(hostNode("ALPHA"), 0), QStringList({"\\\\127.0.0.11\\Docs", "\\\\127.0.0.11\\Public"}));
    EXPECT_EQ(dlg->HostsTotal, 2);
    EXPECT_EQ(dlg->HostsWithShares, 1);
    EXPECT_EQ(shareTexts(search->SearchShares),
              QStringList({"\\\\127.0.0.11\\Docs<>ALPHA", "\\\\127.0.0.11\\Public<>ALPHA"}));
}

TEST_F(MainTreeTest, HeaderClicksSortEveryLevel) {
    grouping(true);
    dlg->InsertHostNode(hostinf("b-host", "192.168.0.10", "W2", std::vector<std::string>(10, "x")));
    dlg->InsertHostNode(hostinf("a-host", "192.168.0.2", "W2", std::vector<std::string>(9, "y")));
    dlg->InsertHostNode(hostinf("d-host", "10.0.0.1", "W1", {"Zeta", "Alpha"}));
    dlg->InsertHostNode(hostinf("c-host", "192.168.0.1", "W2"));
    QTreeWidgetItem* w2 = dlg->MainTree->topLevelItem(0);
    QTreeWidgetItem* w1 = dlg->MainTree->topLevelItem(1);
    ASSERT_EQ(w2->text(0), "W2");

    // Each click and the order it leaves: "Название" starts ascending, so its
    // first click sorts descending; another column keeps the last direction.
    dlg->MainTreeColumnClick(0);
    EXPECT_EQ(column(w2, 0), QStringList({"c-host", "b-host", "a-host"}));
    EXPECT_EQ(dlg->MainTree->topLevelItem(0), w2);
    EXPECT_EQ(column(hostNode("d-host"), 0), QStringList({"\\\\10.0.0.1\\Zeta", "\\\\10.0.0.1\\Alpha"}));
    dlg->MainTreeColumnClick(0);
    EXPECT_EQ(column(w2, 0), QStringList({"a-host", "b-host", "c-host"}));
    EXPECT_EQ(dlg->MainTree->topLevelItem(0), w1);
    EXPECT_EQ(column(hostNode("d-host"), 0), QStringList({"\\\\10.0.0.1\\Alpha", "\\\\10.0.0.1\\Zeta"}));

    dlg->MainTreeColumnClick(1); // ascending kept: by address value, not by text
    EXPECT_EQ(column(w2, 1), QStringList({"192.168.0.1", "192.168.0.2", "192.168.0.10"}));
    EXPECT_EQ(dlg->MainTree->header()->sortIndicatorSection(), 1);
    dlg->MainTreeColumnClick(1);
    EXPECT_EQ(column(w2, 1), QStringList({"192.168.0.10", "192.168.0.2", "192.168.0.1"}));

    dlg->MainTreeColumnClick(2); // descending kept
    EXPECT_EQ(column(w2, 2), QStringList({"10", "9", "0"}));
    dlg->MainTreeColumnClick(2);
    EXPECT_EQ(column(w2, 2), QStringList({"0", "9", "10"}));

    // Hosts in different groups, and non-hosts, have no address order.
    EXPECT_LT(dlg->MainTreeCompareItems(hostNode("d-host"), hostNode("c-host")), 0);
    EXPECT_GT(dlg->MainTreeCompareItems(hostNode("b-host"), hostNode("a-host")), 0);
    EXPECT_EQ(dlg->MainTreeCompareItems(w1, w2), 0);
    EXPECT_EQ(dlg->MainTreeCompareItems(hostNode("d-host"), hostNode("d-host")->child(0)), 0);

    // Real clicks on a header section: the first keeps the last direction
    // (ascending), the second turns it.
    dlg->show();
    QCoreApplication::processEvents();
    QHeaderView* header = dlg->MainTree->header();
    const int x = header->sectionViewportPosition(1) + header->sectionSize(1) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_EQ(column(w2, 1), QStringList({"192.168.0.1", "192.168.0.2", "192.168.0.10"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_EQ(column(w2, 1), QStringList({"192.168.0.10", "192.168.0.2", "192.168.0.1"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

// A launcher whose calls wait until the test lets them go.
class HeldLauncher : public ormix::testing::RecordingLauncher {
public:
    bool startDetached(const QString& program, const QStringList& arguments) override {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [&] { return open_; });
        lock.unlock();
        return RecordingLauncher::startDetached(program, arguments);
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
};

TEST_F(MainTreeTest, OpenRunsTheFileManagerOnTheComputerOrShare) {
    HeldLauncher recorder;
    ScopedLauncher scoped(recorder);
    dlg->show();
    dlg->InsertHostNode(hostinf("ALPHA", "127.0.0.5", "WG", {"Мои документы"}));
    QTreeWidget* tree = dlg->MainTree;
    QTreeWidgetItem* group = tree->topLevelItem(0);
    QTreeWidgetItem* alpha = group->child(0);
    tree->expandAll();
    QCoreApplication::processEvents();

    // Nothing focused, then a group: nothing happens.
    tree->setCurrentItem(nullptr);
    dlg->OpenFocusedNode();
    tree->setCurrentItem(group);
    dlg->openAction_->trigger();
    EXPECT_EQ(dlg->PendingOpens, 0);

    // Three ways to open; each logs the path and counts while the opener runs.
    const std::function<void()> ways[] = {
        [&] { dlg->openAction_->trigger(); },
        [&] { QTest::keyClick(tree, Qt::Key_Return); },
        [&] {
            const QRect r = tree->visualItemRect(tree->currentItem());
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, r.center());
        },
    };
    for (QTreeWidgetItem* node : {alpha, alpha->child(0)}) {
        const bool isHost = node == alpha;
        for (const auto& way : ways) {
            tree->expandAll(); // a double click folds what it lands on
            tree->setCurrentItem(node);
            dlg->IpMemo->clear();
            way();
            EXPECT_EQ(dlg->PendingOpens, 1);
            EXPECT_EQ(dlg->TotHostTxt->text(), " В очереди на открытие хостов: 1");
            EXPECT_EQ(dlg->IpMemo->toPlainText(), isHost ? "Trying to open \\\\127.0.0.5\\"
                                                         : "Trying to open \\\\127.0.0.5\\Мои документы\\");
            recorder.open();
            ASSERT_TRUE(waitFor([&] { return dlg->PendingOpens == 0; }));
            EXPECT_EQ(dlg->TotHostTxt->text(), " В очереди на открытие хостов: 0");
            const auto calls = recorder.calls();
            ASSERT_FALSE(calls.empty());
            EXPECT_EQ(calls.back().program, "xdg-open");
            EXPECT_EQ(calls.back().arguments,
                      QStringList{isHost ? "smb://127.0.0.5/"
                                         : "smb://127.0.0.5/%D0%9C%D0%BE%D0%B8%20%D0%B4%D0%BE"
                                           "%D0%BA%D1%83%D0%BC%D0%B5%D0%BD%D1%82%D1%8B/"});
        }
    }
    EXPECT_EQ(recorder.calls().size(), 6u);
}

// The Enter that closes a message box or the About box is pressed there and
// released in the tree once it has the focus back: that release opens nothing.
TEST_F(MainTreeTest, EnterReleasedWithoutItsPressInTheTreeOpensNothing) {
    HeldLauncher recorder;
    ScopedLauncher scoped(recorder);
    dlg->show();
    dlg->InsertHostNode(hostinf("ALPHA", "127.0.0.5", "WG", {"Мои документы"}));
    QTreeWidget* tree = dlg->MainTree;
    tree->expandAll();
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    QCoreApplication::processEvents();

    QLineEdit elsewhere;
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyPress(&elsewhere, key);
        QTest::keyRelease(tree, key);
        EXPECT_EQ(dlg->PendingOpens, 0);
    }
    // A press that left the tree before its release is forgotten as well.
    QTest::keyPress(tree, Qt::Key_Return);
    QFocusEvent focusOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(tree, &focusOut);
    QTest::keyRelease(tree, Qt::Key_Return);
    EXPECT_EQ(dlg->PendingOpens, 0);
    EXPECT_TRUE(recorder.calls().empty());

    // Press and release in the tree still open it.
    QTest::keyClick(tree, Qt::Key_Enter);
    EXPECT_EQ(dlg->PendingOpens, 1);
    recorder.open();
    ASSERT_TRUE(waitFor([&] { return dlg->PendingOpens == 0; }));
}

TEST_F(MainTreeTest, PeerTextsShowControlCharactersVisibly) {
    HeldLauncher recorder;
    ScopedLauncher scoped(recorder);
    grouping(true);
    HostInfo h = hostinf("EVIL\tHOST", "127.0.0.5", "W\nG");
    h.addShare("\\\\127.0.0.5\\a\nb", "line\r\n\x1b[31mred");
    dlg->InsertHostNode(h);
    QTreeWidgetItem* group = dlg->MainTree->topLevelItem(0);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->text(0), QString::fromUtf8("W\u240AG"));
    QTreeWidgetItem* host = group->child(0);
    EXPECT_EQ(host->text(0), QString::fromUtf8("EVIL\u2409HOST"));
    QTreeWidgetItem* share = host->child(0);
    EXPECT_EQ(share->text(0), QString::fromUtf8("\\\\127.0.0.5\\a\u240Ab"));
    EXPECT_EQ(share->text(1), QString::fromUtf8("line\u240D\u240A\u241B[31mred"));

    // Opening acts on the real name; the log line stays one line.
    dlg->MainTree->setCurrentItem(share);
    dlg->IpMemo->clear();
    dlg->OpenFocusedNode();
    EXPECT_EQ(dlg->IpMemo->toPlainText(), QString::fromUtf8("Trying to open \\\\127.0.0.5\\a\u240Ab\\"));
    recorder.open();
    ASSERT_TRUE(waitFor([&] { return dlg->PendingOpens == 0; }));
    ASSERT_FALSE(recorder.calls().empty());
    EXPECT_EQ(recorder.calls().back().arguments, QStringList{"smb://127.0.0.5/a%0Ab/"});
}

TEST_F(MainTreeTest, OpenerEndingAfterAScanStartLeavesTheCountAtZero) {
    HeldLauncher recorder;
    ScopedLauncher scoped(recorder);
    dlg->InsertHostNode(hostinf("ALPHA", "127.0.0.5", "WG"));
    dlg->MainTree->setCurrentItem(dlg->MainTree->topLevelItem(0)->child(0));
    dlg->OpenFocusedNode();
    EXPECT_EQ(dlg->PendingOpens, 1);
    dlg->StartScan();
    EXPECT_EQ(dlg->PendingOpens, 0);
    recorder.open();
    ASSERT_TRUE(waitFor([&] { return !recorder.calls().empty(); }));
    QTest::qWait(100);
    EXPECT_EQ(dlg->PendingOpens, 0);
    EXPECT_EQ(dlg->TotHostTxt->text(), " В очереди на открытие хостов: 0");
    observer->finished();
    ASSERT_TRUE(waitFor([&] { return !dlg->Scanning(); }));
}

TEST_F(MainTreeTest, CollapseExpandAndNetworkDrive) {
    dlg->InsertHostNode(hostinf("ALPHA", "127.0.0.5", "WG", {"Docs"}));
    QTreeWidget* tree = dlg->MainTree;
    QTreeWidgetItem* group = tree->topLevelItem(0);
    QTreeWidgetItem* alpha = group->child(0);
    dlg->expandAllAction_->trigger();
    EXPECT_TRUE(group->isExpanded() && alpha->isExpanded());
    dlg->collapseAllAction_->trigger();
    EXPECT_FALSE(group->isExpanded() || alpha->isExpanded());

    DriveWindow drive;
    int mapped = 0;
    drive.MapDrive = [&](const QString&, const QString&, const std::atomic<bool>&) { return ++mapped, 0; };
    ProgramWindows windows;
    windows.main = dlg.get();
    windows.drive = &drive;
    ConnectWindows(windows);

    tree->setCurrentItem(group);
    dlg->mapDriveAction_->trigger();
    tree->setCurrentItem(alpha);
    dlg->mapDriveAction_->trigger();
    EXPECT_EQ(messages, QStringList{"Выберите каталог который нужно подключить!"});

    QString shownPath;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        modal = QApplication::activeModalWidget() == &drive;
        shownPath = drive.PathName->text();
        drive.reject();
    });
    tree->setCurrentItem(alpha->child(0));
    dlg->mapDriveAction_->trigger();
    EXPECT_TRUE(modal);
    EXPECT_EQ(shownPath, "\\\\127.0.0.5\\Docs");
    EXPECT_EQ(mapped, 0);
    EXPECT_EQ(messages.size(), 1);
}

} // namespace
} // namespace ormix::test

// The search window with the index turned on: it defaults to "в индексе"
// once the index holds a share, answers from it with the same rows the
// network search gives, says how old the index is, and records what its
// network searches walk.
#include "fixtures/waitfor.h"
#include "gui/searchwindow.h"
#include "index/indexservice.h"
#include "index/indexstore.h"
#include "search/fake_share.h"
#include "settings/configfile.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>

namespace ormix::testing {
namespace {

TEST(SearchWindowIndex, SearchesTheIndexWhenItHoldsAnything) {
    QTemporaryDir dir;
    const std::string db = dir.filePath("index.sqlite").toStdString();
    ConfigFile cfg(dir.filePath("cfg.ini").toStdString());
    cfg.WriteText("main", "IndexDb", db);
    cfg.WriteText("main", "ExcludeRes", "hidden");

    SearchWindow form(cfg);
    form.EnableIndex();
    form.show();
    EXPECT_TRUE(form.NetworkRB->isChecked()); // nothing indexed yet

    {
        IndexStore store;
        std::string error;
        ASSERT_TRUE(store.open(db, error)) << error;
        const int64_t now = IndexNow();
        ASSERT_TRUE(store.replaceShare({"\\\\127.0.0.1\\Docs",
                                        "127.0.0.1",
                                        "ALPHA",
                                        now - 7200,
                                        {{"", "a.txt", false, 10, 0},
                                         {"", "sub", true, 0, 0},
                                         {"sub\\", "b.TXT", false, 2048, 0},
                                         {"", "c.dat", false, 1, 0}}},
                                       error))
            << error;
        ASSERT_TRUE(store.replaceShare(
            {"\\\\127.0.0.1\\hidden", "127.0.0.1", "ALPHA", now, {{"", "x.txt", false, 1, 0}}}, error));
    }
    form.hide();
    form.show();
    // One source and one search mode at a time (the two pairs are separate groups).
    EXPECT_TRUE(form.IndexRB->isChecked());
    EXPECT_FALSE(form.NetworkRB->isChecked());
    EXPECT_TRUE(form.TextRB->isChecked());
    form.NetworkRB->click();
    form.NetworkRB->click(); // a checked radio button stays checked
    EXPECT_TRUE(form.NetworkRB->isChecked());
    EXPECT_FALSE(form.IndexRB->isChecked());
    EXPECT_TRUE(form.TextRB->isChecked());
    form.IndexRB->click();

    form.SearchShares = {ParseScannedShare("\\\\127.0.0.1\\Docs<>ALPHA"),
                         ParseScannedShare("\\\\127.0.0.1\\hidden<>ALPHA")};
    form.SrchStr->setText("*.txt");
    form.StartSearch();
    ASSERT_TRUE(waitFor([&] { return !form.Searching(); }));
    ASSERT_EQ(form.ResultList->topLevelItemCount(), 2);
    QStringList paths;
    for (int i = 0; i < 2; ++i)
        paths << form.ResultList->topLevelItem(i)->text(0) + "|" + form.ResultList->topLevelItem(i)->text(1) +
                     "|" + form.ResultList->topLevelItem(i)->text(2);
    paths.sort();
    EXPECT_EQ(paths, (QStringList{"ALPHA|\\\\127.0.0.1\\Docs\\a.txt|10 b",
                                  "ALPHA|\\\\127.0.0.1\\Docs\\sub\\b.TXT|2 Kb"}));
    EXPECT_EQ(form.labelFileCnt->text(), "3");
    EXPECT_EQ(form.labelIndexAge->text(), " Индекс обновлён 2 ч. назад (ресурсов: 1)");
    EXPECT_TRUE(form.historyLog_->toPlainText().endsWith("поиск закончен!"));
    EXPECT_TRUE(form.StartBtn->isEnabled());

    // The user's choice of the network sticks.
    form.NetworkRB->setChecked(true);
    form.hide();
    form.show();
    EXPECT_TRUE(form.NetworkRB->isChecked());
}

std::vector<std::string> rows(const SearchWindow& form) {
    std::vector<std::string> out;
    for (int i = 0; i < form.ResultList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* it = form.ResultList->topLevelItem(i);
        out.push_back((it->text(0) + "|" + it->text(1) + "|" + it->text(2)).toStdString());
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(SearchWindowIndex, NetworkSearchesRecordWithTheirComputerNames) {
    QTemporaryDir dir;
    ConfigFile cfg(dir.filePath("cfg.ini").toStdString());
    cfg.WriteText("main", "IndexDb", dir.filePath("index.sqlite").toStdString());
    FakeWalker net;
    net.addShare("\\\\127.0.0.5\\Pub\\",
                 {FakeNode::file("one.txt", 1), FakeNode::dir("d", {FakeNode::file("two.txt", 2)})});
    SearchWindow form(cfg);
    form.SetShareWalker(&net);
    form.EnableIndex();
    form.show();
    form.SearchShares = {ParseScannedShare("\\\\127.0.0.5\\Pub<>ECHO")};
    form.SrchStr->setText("*.txt");
    form.StartSearch();
    ASSERT_TRUE(waitFor([&] { return !form.Searching(); }));
    const std::vector<std::string> fromNetwork = rows(form);
    ASSERT_EQ(fromNetwork.size(), 2u);

    // The writer runs on its own thread: wait until the share is in.
    ASSERT_TRUE(waitFor([&] { return form.Index()->holdsAnything(); }));
    form.IndexRB->setChecked(true);
    form.StartSearch();
    ASSERT_TRUE(waitFor([&] { return !form.Searching(); }));
    EXPECT_EQ(rows(form), fromNetwork);
    EXPECT_EQ(fromNetwork[0], "ECHO|\\\\127.0.0.5\\Pub\\d\\two.txt|2 b");
}

} // namespace
} // namespace ormix::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

// The search window with the index turned on: it defaults to "в индексе"
// once the index holds a share, answers from it with the same rows the
// network search gives, and says how old the index is.
#include "fixtures/waitfor.h"
#include "index/indexservice.h"
#include "index/indexstore.h"
#include "search/indexform.h"
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

#include <cstdlib>

namespace ormix::testing {
namespace {

TEST(SearchWindowIndex, SearchesTheIndexWhenItHoldsAnything) {
    QTemporaryDir dir;
    const std::string db = dir.filePath("index.sqlite").toStdString();
    ConfigFile cfg(dir.filePath("cfg.ini").toStdString());
    cfg.WriteText("main", "IndexDb", db);
    cfg.WriteText("main", "ExcludeRes", "hidden");

    TIndexForm form(cfg);
    form.EnableIndex();
    form.show();
    EXPECT_TRUE(form.NetworkRB->isChecked()); // nothing indexed yet

    {
        IndexStore store;
        std::string error;
        ASSERT_TRUE(store.Open(db, error)) << error;
        const int64_t now = IndexNow();
        ASSERT_TRUE(store.ReplaceShare({"\\\\127.0.0.1\\Docs",
                                        "127.0.0.1",
                                        "ALPHA",
                                        now - 7200,
                                        {{"", "a.txt", false, 10, 0},
                                         {"", "sub", true, 0, 0},
                                         {"sub\\", "b.TXT", false, 2048, 0},
                                         {"", "c.dat", false, 1, 0}}},
                                       error))
            << error;
        ASSERT_TRUE(store.ReplaceShare(
            {"\\\\127.0.0.1\\hidden", "127.0.0.1", "ALPHA", now, {{"", "x.txt", false, 1, 0}}}, error));
    }
    form.hide();
    form.show();
    EXPECT_TRUE(form.IndexRB->isChecked());

    form.SearchShares = {"\\\\127.0.0.1\\Docs<>ALPHA", "\\\\127.0.0.1\\hidden<>ALPHA"};
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
    EXPECT_TRUE(form.Memo2->toPlainText().endsWith("поиск закончен!"));
    EXPECT_TRUE(form.StartBtn->isEnabled());

    // The user's choice of the network sticks.
    form.NetworkRB->setChecked(true);
    form.hide();
    form.show();
    EXPECT_TRUE(form.NetworkRB->isChecked());
}

} // namespace
} // namespace ormix::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

// The computer list window: rows in list order with their formats, sorting by
// column, delete (from the list too), export, and the save that closes it.
#include "gui/computerlistwindow.h"

#include "fixtures/files.h"
#include "qtapp.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace ormix {
namespace {

// 9 December 2004 14:05:32, 1 January 2010 00:00:00, 31 March 2005 23:59:58.
constexpr int32_t kDec2004 = 831090864;
constexpr int32_t kJan2010 = 0x3C210000;
constexpr int32_t kMar2005 = 0x327FBF7D;

using ormix::testing::readFile;
using ormix::testing::writeFile;

QStringList column(const QTreeWidget* t, int c) {
    QStringList out;
    for (int i = 0; i < t->topLevelItemCount(); ++i)
        out << t->topLevelItem(i)->text(c);
    return out;
}

class AddrMgrFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        programDir_ = dir_.path().toStdString() + "/";
        listPath_ = programDir_ + "range.lst";
    }

    // The list as the program loads it at start, and a window on it.
    ComputerListWindow& makeForm(const std::string& fileText) {
        writeFile(listPath_, fileText);
        list_ = std::make_unique<ComputerList>(listPath_);
        EXPECT_TRUE(list_->loadComputerList());
        form_ = std::make_unique<ComputerListWindow>(*list_);
        form_->ShowMessage = [this](const QString& text) { messages_ << text; };
        form_->Computers().setClock([] { return kJan2010; });
        return *form_;
    }

    QTemporaryDir dir_;
    std::string programDir_;
    std::string listPath_;
    std::unique_ptr<ComputerList> list_;
    std::unique_ptr<ComputerListWindow> form_;
    QStringList messages_;
};

const std::string kFile = "192.168.0.5,PC5,00-0C-29-AB-CD-EF,831090864\r\n"
                          "10.0.0.2,pc2,," +
                          std::to_string(kMar2005) + "\r\n";

TEST_F(AddrMgrFormTest, ShowsNewcomersFirstThenTheFileInOrder) {
    ComputerListWindow& f = makeForm(kFile);
    f.Computers().recordComputer("10.0.0.9", "A", "00-00-00-00-00-0A");
    f.Computers().recordComputer("10.0.0.10", "B", "");
    f.show();
    EXPECT_EQ(column(f.AddrList, 0), (QStringList{"10.0.0.10", "10.0.0.9", "192.168.0.5", "10.0.0.2"}));
    EXPECT_EQ(column(f.AddrList, 1), (QStringList{"B", "A", "PC5", "pc2"}));
    EXPECT_EQ(column(f.AddrList, 2), (QStringList{"", "00-00-00-00-00-0A", "00-0C-29-AB-CD-EF", ""}));
    EXPECT_EQ(column(f.AddrList, 3), (QStringList{"01/01/10 00:00:00", "01/01/10 00:00:00",
                                                  "09/12/04 14:05:32", "31/03/05 23:59:58"}));
    EXPECT_EQ(f.CntText->text(), "4");
    EXPECT_TRUE(messages_.isEmpty());

    // Every showing rebuilds the table from the list.
    f.close();
    f.Computers().recordComputer("10.0.0.11", "C", "");
    f.show();
    EXPECT_EQ(f.AddrList->topLevelItemCount(), 5);
    EXPECT_EQ(f.AddrList->topLevelItem(0)->text(0), "10.0.0.11");
    EXPECT_EQ(f.CntText->text(), "5");
}

// How a computer was found in this run shows as the row's tooltip; computers
// not found since the start have none, and the file keeps its four fields.
TEST_F(AddrMgrFormTest, RowsTellHowTheComputerWasFound) {
    ComputerListWindow& f = makeForm(kFile);
    f.Computers().recordComputer("10.0.0.9", "A", "");
    f.NoteFoundBy("10.0.0.9", "Порт SMB (445), WS-Discovery");
    f.NoteFoundBy("192.168.0.5", "NetBIOS");
    f.show();
    ASSERT_EQ(f.AddrList->topLevelItemCount(), 3);
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(f.AddrList->topLevelItem(0)->toolTip(column), "Найден: Порт SMB (445), WS-Discovery");
    EXPECT_EQ(f.AddrList->topLevelItem(1)->toolTip(1), "Найден: NetBIOS");
    EXPECT_EQ(f.AddrList->topLevelItem(2)->toolTip(1), "");
    f.SaveComputerList();
    EXPECT_EQ(readFile(listPath_), "10.0.0.9,A,," + std::to_string(kJan2010) + "\r\n" + kFile);
}

TEST_F(AddrMgrFormTest, AMissingFileIsCreatedEmpty) {
    std::filesystem::remove(listPath_);
    ComputerList list(listPath_);
    EXPECT_TRUE(list.loadComputerList());
    ComputerListWindow f(list);
    EXPECT_TRUE(std::filesystem::exists(listPath_));
    EXPECT_EQ(f.Computers().count(), 0u);
}

TEST_F(AddrMgrFormTest, HeaderClickSortsAscendingOnce) {
    ComputerListWindow& f =
        makeForm("192.168.0.10,PC9,," + std::to_string(kJan2010) + "\r\n" + "192.168.0.2,pc1,," +
                 std::to_string(kMar2005) + "\r\n" + "10.0.0.2,PC10,," + std::to_string(kDec2004) + "\r\n" +
                 "192.168.0.1,PC2,," + std::to_string(kDec2004) + "\r\n");
    f.show();
    struct Case {
        int column;
        QStringList ips;
    };
    const Case cases[] = {
        {0, {"10.0.0.2", "192.168.0.1", "192.168.0.2", "192.168.0.10"}}, // by value, not text
        {1, {"10.0.0.2", "192.168.0.1", "192.168.0.10", "192.168.0.2"}}, // PC10 PC2 PC9 pc1
        // "01/01/10" < "09/12/04" < "31/03/05": day of the month first; equal
        // dates keep the order of the sort before.
        {3, {"192.168.0.10", "10.0.0.2", "192.168.0.1", "192.168.0.2"}},
        {0, {"10.0.0.2", "192.168.0.1", "192.168.0.2", "192.168.0.10"}},
        {0, {"10.0.0.2", "192.168.0.1", "192.168.0.2", "192.168.0.10"}}, // a second click: still ascending
    };
    for (const Case& c : cases) {
        QTest::mouseClick(f.AddrList->header()->viewport(), Qt::LeftButton, {},
                          QPoint(f.AddrList->header()->sectionViewportPosition(c.column) + 5, 5));
        EXPECT_EQ(column(f.AddrList, 0), c.ips) << "column " << c.column;
    }
    EXPECT_EQ(f.Computers().snapshot().front().Ip, "192.168.0.10"); // the list keeps its order
}

TEST_F(AddrMgrFormTest, DeleteRemovesTheComputersFromTheListAndTheNextSave) {
    ComputerListWindow& f = makeForm("10.0.0.1,A,,831090864\r\n"
                                     "10.0.0.2,B,,831090864\r\n"
                                     "10.0.0.3,C,,831090864\r\n"
                                     "10.0.0.4,D,,831090864\r\n"
                                     "10.0.0.5,E,,831090864\r\n");
    f.show();
    for (int row : {0, 2, 3})
        f.AddrList->topLevelItem(row)->setSelected(true);
    f.AddrList->setFocus();
    QTest::keyClick(f.AddrList, Qt::Key_Delete);
    EXPECT_EQ(column(f.AddrList, 1), (QStringList{"B", "E"}));
    EXPECT_EQ(f.CntText->text(), "2");

    f.AddrList->topLevelItem(1)->setSelected(true);
    f.deleteButton_->click();
    EXPECT_EQ(column(f.AddrList, 1), (QStringList{"B"}));

    f.SaveComputerList();
    EXPECT_EQ(readFile(listPath_), "10.0.0.2,B,,831090864\r\n");
    ComputerList reloaded(listPath_);
    EXPECT_TRUE(reloaded.loadComputerList());
    ComputerListWindow again(reloaded);
    again.show();
    EXPECT_EQ(column(again.AddrList, 1), (QStringList{"B"}));
}

TEST_F(AddrMgrFormTest, ExportCopiesTheFileAsLastSaved) {
    ComputerListWindow& f = makeForm(kFile);
    f.Computers().recordComputer("10.0.0.9", "A", "");
    const std::string target = dir_.filePath("out.cvs").toStdString();
    writeFile(target, "old contents that are longer than the list file itself .....................");
    f.AskExportPath = [&] { return QString::fromStdString(target); };
    f.exportButton_->click();
    EXPECT_EQ(readFile(target), kFile); // not the computer recorded since
    EXPECT_TRUE(messages_.isEmpty());

    f.AskExportPath = [] { return QString(); }; // cancelled
    f.SaveComputerList();
    f.exportButton_->click();
    EXPECT_EQ(readFile(target), kFile);

    // A copy that fails is reported.
    f.AskExportPath = [&] { return dir_.filePath("no/such/folder/out.cvs"); };
    f.exportButton_->click();
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_.front().contains("no/such/folder/out.cvs"));
}

TEST_F(AddrMgrFormTest, ASaveClosesTheWindowUnlessItFails) {
    ComputerListWindow& f = makeForm(kFile);
    f.show();
    ASSERT_TRUE(f.isVisible());
    f.SaveComputerList();
    EXPECT_FALSE(f.isVisible());

    f.show();
    std::filesystem::remove(listPath_);
    std::filesystem::create_directory(listPath_); // nothing can be renamed over it
    f.SaveComputerList();
    EXPECT_EQ(messages_, (QStringList{"AddMgrUnit: fopen(w+) ERROR!"}));
    EXPECT_TRUE(f.isVisible());
}

TEST_F(AddrMgrFormTest, LayoutNamesTextsAndHints) {
    ComputerListWindow& f = makeForm("");
    EXPECT_EQ(f.windowTitle(), "Список компьютеров");
    EXPECT_GE(f.width(), 519);
    EXPECT_GE(f.height(), 400);
    const QStringList headers{"IP Адрес", "Название", "MAC Адрес", "Дата время"};
    const int widths[] = {120, 150, 120, 100};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(f.AddrList->headerItem()->text(c), headers[c]);
        EXPECT_GE(f.AddrList->columnWidth(c), widths[c]);
    }
    EXPECT_EQ(f.AddrList->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(f.AddrList->editTriggers(), QAbstractItemView::NoEditTriggers);
    const QString countHint = "Показывает сколько компьютеров находится в очереди на открытие";
    EXPECT_EQ(f.deleteButton_->toolTip(), "Удалить выделенные компьютеры");
    EXPECT_EQ(f.exportButton_->toolTip(), "Сохранить список компьютеров");
    EXPECT_EQ(f.countLabel_->text(), "Всего компьютеров: ");
    EXPECT_EQ(f.countLabel_->toolTip(), countHint);
    EXPECT_EQ(f.CntText->toolTip(), countHint);
    EXPECT_EQ(f.closeButton_->text(), "Закрыть");
    EXPECT_EQ(f.SaveList->windowTitle(), "Сохранение списка компьютеров");
    EXPECT_EQ(f.SaveList->nameFilters(), QStringList{"Данные разделенные запятыми (*.cvs)"});
    EXPECT_FALSE(f.SaveList->testOption(QFileDialog::DontConfirmOverwrite));
}

} // namespace
} // namespace ormix

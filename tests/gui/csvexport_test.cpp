// "Экспорт в CSV" of the computer list and search windows, and Qt's own
// dialogs speaking Russian.
#include "fixtures/files.h"
#include "gui/computerlistwindow.h"
#include "gui/searchwindow.h"
#include "settings/configfile.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace ormix {
namespace {

using ormix::testing::readFile;

const std::string kBom = "\xEF\xBB\xBF";

TEST(CsvExport, ComputerListWritesTheListInMemory) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ComputerList list(dir.path().toStdString() + "/range.lst");
    ComputerListWindow form(list);
    QStringList messages;
    form.ShowMessage = [&](const QString& m) { messages << m; };
    form.Computers().setClock([] { return 0x3C210000; }); // 1 January 2010 00:00:00
    form.Computers().recordComputer("10.0.0.2", "=HYPERLINK(\"x\")", "00-0C-29-3A-4B-5C");
    form.Computers().recordComputer("10.0.0.1", "ПК-1", "");

    const QString target = dir.filePath("list.csv");
    form.AskCsvPath = [&] { return target; };
    form.CsvExportButt->click();
    EXPECT_EQ(readFile(target.toStdString()),
              kBom + "IP Адрес,Название,MAC Адрес,Дата время\r\n"
                     "10.0.0.1,ПК-1,,2010-01-01 00:00:00\r\n"
                     "10.0.0.2,\"'=HYPERLINK(\"\"x\"\")\",00-0C-29-3A-4B-5C,2010-01-01 00:00:00\r\n");
    EXPECT_TRUE(messages.isEmpty());

    // A folder that does not exist: a message, nothing written, nothing lost.
    const QString bad = dir.filePath("no/such/folder/list.csv");
    form.AskCsvPath = [&] { return bad; };
    form.CsvExportButt->click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Не удалось сохранить файл ") + bad))
        << messages[0].toStdString();
    EXPECT_EQ(form.Computers().count(), 2u);

    // Cancelled: no file, no message.
    form.AskCsvPath = [] { return QString(); };
    form.CsvExportButt->click();
    EXPECT_EQ(messages.size(), 1);
}

TEST(CsvExport, SearchResultsInTheOrderShown) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ConfigFile cfg(dir.filePath("cfg.ini").toStdString());
    SearchWindow form(cfg);
    QStringList messages;
    form.ShowMessage = [&](const QString& m) { messages << m; };
    form.AddFoundFile("BRAVO", "\\\\127.0.0.12\\Архив\\", 1536, "Отчёт, итог.doc");
    form.AddFoundFile("ALPHA", "\\\\127.0.0.11\\Public\\", 7, "-1+2.txt");

    const QString target = dir.filePath("found.csv");
    form.AskCsvPath = [&] { return target; };
    form.CsvExportBtn->click();
    EXPECT_EQ(readFile(target.toStdString()), kBom +
                                                  "Название компьютера,Путь к файлу,Размер файла\r\n"
                                                  "BRAVO,\"\\\\127.0.0.12\\Архив\\Отчёт, итог.doc\",1536\r\n"
                                                  "ALPHA,\\\\127.0.0.11\\Public\\-1+2.txt,7\r\n");
    EXPECT_TRUE(messages.isEmpty());
}

TEST(CsvExport, StandardDialogsAreRussian) {
    QFileDialog dialog(nullptr, QStringLiteral("Экспорт в CSV"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    const QPushButton* cancel = box->button(QDialogButtonBox::Cancel);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("Отмена"));
    const QPushButton* save = box->button(QDialogButtonBox::Save);
    const QPushButton* accept = save ? save : box->button(QDialogButtonBox::Open);
    ASSERT_NE(accept, nullptr);
    EXPECT_EQ(accept->text().remove('&'), QStringLiteral("Сохранить"));
}

} // namespace
} // namespace ormix

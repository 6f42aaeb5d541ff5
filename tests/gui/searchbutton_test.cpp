// "Поиск файлов!" in the main window: the search window while share counting
// is on, a message otherwise.
#include "gui/app.h"
#include "gui/application.h"
#include "gui/searchwindow.h"
#include "gui/shell_test_util.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace ormix::test {
namespace {

class SearchButton : public InTempFolder {};

TEST_F(SearchButton, ShowsTheSearchWindowOnlyWithShareCounting) {
    TestMainDlg main;
    SearchWindow form(main.ConfigFile);
    ProgramWindows windows;
    windows.main = &main;
    windows.search = &form;
    ConnectWindows(windows);

    main.editSettings([](AppSettings& s) { s.showShareCount = false; });
    QString text, title;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            title = box->windowTitle();
            box->accept();
        }
    });
    main.onSearchClicked();
    EXPECT_EQ(
        text,
        "Для поиска по ресурсам сети \nнеобходимо включить параметр \n\"показывать количество ресурсов\"");
    // Information and error boxes carry the same title.
    EXPECT_EQ(title, "ORMIX");
    EXPECT_FALSE(form.isVisible());

    main.editSettings([](AppSettings& s) { s.showShareCount = true; });
    bool modal = false;
    QTimer::singleShot(0, [&] {
        modal = QApplication::activeModalWidget() == &form;
        form.closeButton_->click();
    });
    main.onSearchClicked();
    EXPECT_TRUE(modal);
}

} // namespace
} // namespace ormix::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ormix::OrmixApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

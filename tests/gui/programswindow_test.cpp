// The programs window: the list from section "ProgList", selection, save with
// its two messages, delete.
#include "gui/application.h"
#include "gui/programswindow.h"
#include "settings/configfile.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

namespace ormix {
namespace {

class OpenWithFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        cfg = std::make_unique<ConfigFile>(dir.filePath("cfg.ini").toStdString());
        cfg->WriteText("ProgList", "Viewer", "viewer %%prg%%");
        cfg->WriteText("ProgList", "Editor", "editor \"%%dir%%\"");
        form = std::make_unique<ProgramsWindow>(*cfg);
        form->ShowMessage = [this](const QString& m) { messages << m; };
    }
    QStringList names() const {
        QStringList out;
        for (int i = 0; i < form->ProgListList->count(); ++i)
            out << form->ProgListList->item(i)->text();
        return out;
    }
    void save(const QString& name, const QString& tmpl) {
        form->ProgNameEdit->setText(name);
        form->ComStrEdit->setText(tmpl);
        form->AddButt->click();
    }

    QTemporaryDir dir;
    std::unique_ptr<ConfigFile> cfg;
    std::unique_ptr<ProgramsWindow> form;
    QStringList messages;
};

TEST_F(OpenWithFormTest, ControlsAndList) {
    EXPECT_EQ(form->objectName(), "OpenWithForm");
    EXPECT_EQ(form->windowTitle(), "Открыть в...");
    EXPECT_EQ(form->size(), QSize(451, 193));
    EXPECT_EQ(form->AddButt->text(), "Сохранить");
    EXPECT_EQ(form->DelButt->text(), " Удалить");
    EXPECT_EQ(form->closeButton_->text(), "Закрыть");
    EXPECT_EQ(form->TimeoutHlpBtn->toolTip(), "Справка");
    EXPECT_EQ(names(), (QStringList{"Viewer", "Editor"}));
    // The hint under the command line names every placeholder.
    for (const char* placeholder : {"%%prg%%", "%%dir%%", "%%url%%", "%%unc%%"}) {
        EXPECT_TRUE(form->HintText->text().contains(placeholder)) << placeholder;
        EXPECT_TRUE(form->ComStrEdit->toolTip().contains(placeholder)) << placeholder;
    }
}

TEST_F(OpenWithFormTest, SelectionShowsTheTemplate) {
    form->ProgListList->item(1)->setSelected(true);
    EXPECT_EQ(form->ProgNameEdit->text(), "Editor");
    EXPECT_EQ(form->ComStrEdit->text(), "editor \"%%dir%%\"");

    cfg->RemoveKey("ProgList", "Viewer"); // gone behind the window's back
    form->ProgListList->item(0)->setSelected(true);
    EXPECT_EQ(form->ProgNameEdit->text(), "Viewer");
    EXPECT_EQ(form->ComStrEdit->text(), "???");
}

TEST_F(OpenWithFormTest, SaveChecksNameThenTemplateAndAlwaysReloads) {
    save("", "");
    save("", "x %%prg%%");
    save("New", "");
    EXPECT_EQ(messages, (QStringList{"Не заполнено название программы!", "Не заполнено название программы!",
                                     "Не указана командная строка запуска программы!"}));
    EXPECT_TRUE(form->ProgNameEdit->text().isEmpty()); // the input is gone after a message
    EXPECT_EQ(names(), (QStringList{"Viewer", "Editor"}));

    save("Viewer", "other %%prg%%"); // same name: the template is replaced
    save("New", "new %%prg%%");
    EXPECT_EQ(names(), (QStringList{"Viewer", "Editor", "New"}));
    EXPECT_EQ(cfg->ReadText("ProgList", "Viewer", ""), "other %%prg%%");
    EXPECT_TRUE(form->ComStrEdit->text().isEmpty());
    EXPECT_EQ(messages.size(), 3);

    // A name the file cannot hold as a key is refused instead of being lost.
    save("a=b", "x");
    EXPECT_EQ(messages.size(), 4);
    EXPECT_EQ(names().size(), 3);
}

TEST_F(OpenWithFormTest, DeleteNeedsASelection) {
    form->DelButt->click();
    EXPECT_EQ(names().size(), 2);
    form->ProgListList->item(0)->setSelected(true);
    form->DelButt->click();
    EXPECT_EQ(names(), QStringList{"Editor"});
    std::vector<std::string> keys;
    cfg->ListKeys("ProgList", keys);
    EXPECT_EQ(keys, std::vector<std::string>{"Editor"});
}

} // namespace
} // namespace ormix

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

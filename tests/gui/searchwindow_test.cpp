// The search window over an in-memory share tree: its controls, a search from
// start to end with the launch rule, stop, sorting, the result menu with the
// user's programs, and the actions on a found file.
#include "fixtures/stalled_gio.h"
#include "fixtures/waitfor.h"
#include "gui/app.h"
#include "gui/application.h"
#include "gui/icons.h"
#include "gui/programswindow.h"
#include "gui/searchwindow.h"
#include "platform/recording_launcher.h"
#include "search/fake_share.h"
#include "settings/configfile.h"
#include "shares/smbpool.h"

#include <gtest/gtest.h>

#include <csignal>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace ormix::testing {
namespace {

class FakeCopier : public FileCopier {
public:
    CopyResult Copy(const std::string& uncPath, const std::string& localPath,
                    const std::function<bool(uint64_t, uint64_t)>& progress) override {
        calls.push_back({uncPath, localPath});
        if (progress)
            progress(1, 2);
        CopyResult r;
        r.status = status;
        r.finalPath = finalPath.empty() ? localPath : finalPath;
        return r;
    }
    std::vector<std::pair<std::string, std::string>> calls;
    int32_t status = 0;
    std::string finalPath; // where the copy says it went; the target when empty
};

class IndexFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        cfg = std::make_unique<ConfigFile>(dir.filePath("cfg.ini").toStdString());
        form = std::make_unique<SearchWindow>(*cfg);
        form->SetShareWalker(&walker);
        form->SetFileCopier(&copier);
        form->ShowMessage = [this](const QString& m) { messages << m; };
        previousReporter = SetErrorReporter([this](const QString& m) { errors << m; });
    }
    void TearDown() override {
        walker.openGate();
        form.reset();
        SetErrorReporter(previousReporter);
    }

    void addShares(int n) {
        for (int i = 1; i <= n; ++i) {
            const std::string ip = "127.0.0." + std::to_string(i);
            walker.addShare("\\\\" + ip + "\\s\\",
                            {FakeNode::file("a.txt", i * 1000), FakeNode::file("b.dat", 1)});
            form->SearchShares.push_back(ParseScannedShare("\\\\" + ip + "\\s<>HOST" + std::to_string(i)));
        }
    }
    QStringList history() const { return form->historyLog_->toPlainText().split('\n'); }
    bool idle() {
        return waitFor([this] { return form->StartBtn->isEnabled() && !form->Searching(); });
    }
    void search(const QString& text) {
        form->SrchStr->setText(text);
        form->StartSearch();
    }
    void addRow(const char* host, const std::string& path, int64_t size) {
        const size_t slash = path.rfind('\\') + 1;
        form->AddFoundFile(host, path.substr(0, slash), size, path.substr(slash));
    }
    QStringList column(int c) const {
        QStringList out;
        for (int i = 0; i < form->ResultList->topLevelItemCount(); ++i)
            out << form->ResultList->topLevelItem(i)->text(c);
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<ConfigFile> cfg;
    FakeWalker walker;
    FakeCopier copier;
    std::unique_ptr<SearchWindow> form;
    QStringList messages, errors;
    ErrorReporter previousReporter;
};

TEST_F(IndexFormTest, ControlsAtCreation) {
    EXPECT_EQ(form->objectName(), "IndexForm");
    EXPECT_EQ(form->windowTitle(), ":: Search v1.1 ::");
    EXPECT_EQ(form->size(), QSize(683, 398));
    struct Control {
        const char* name;
        const char* text;
        const char* hint;
    } controls[] = {
        {"SearchDescrText", "Имя файла для поиска :", nullptr},
        {"SrchHlpBtn", "?", "Справка"},
        {"ExtSearchBtn", nullptr, "Расширенный поиск (показать/убрать)"},
        {"StartBtn", "Искать!", "Искать"},
        {"StopBtn", "Стоп!", "Остановить поиск"},
        {"RxSpeedButton1", "Закрыть", "Закрыть"},
        {"RxSpeedButton2", nullptr, "Копировать выбранный файл"},
        {"RxSpeedButton3", nullptr, "Открыть директорию с выбранным файлом"},
        {"RxSpeedButton4", nullptr, "Копировать полный путь файла в буфер"},
        {"TextRB", "Обычный текст", nullptr},
        {"RegexpRB", "Регулярное выражение", nullptr},
        {"RxSpeedButton5", "?", nullptr},
        {"StaticText2", "Проверка регулярного выражения:", nullptr},
        {"RegExprTestEdit", "введите текст на котором будет применено регулярное выражение", nullptr},
        {"RxSpeedButton6", "Проверить", nullptr},
        {"SLimClr", "x", "Отменить ограничение по размеру"},
    };
    for (const Control& c : controls) {
        QWidget* w = form->findChild<QWidget*>(c.name);
        ASSERT_TRUE(w) << c.name;
        if (c.text) {
            EXPECT_EQ(w->property("text").toString(), QString::fromUtf8(c.text)) << c.name;
        }
        if (c.hint) {
            EXPECT_EQ(w->toolTip(), QString::fromUtf8(c.hint)) << c.name;
        }
    }
    EXPECT_FALSE(form->StopBtn->isEnabled());
    EXPECT_FALSE(form->RegExprTestEdit->isEnabled());
    EXPECT_FALSE(form->testRegexButton_->isEnabled());
    EXPECT_TRUE(form->TextRB->isChecked());
    EXPECT_FALSE(form->RegexMode);
    EXPECT_TRUE(form->busyIndicator_->isHidden());
    EXPECT_EQ(form->statusTimer_->interval(), 500);
    EXPECT_EQ(history(), QStringList{"Список ресурсов по которым осуществляется поиск"});
    for (QLabel* l : {form->labelThrCnt, form->labelFileCnt, form->labelFoundedFileCnt})
        EXPECT_EQ(l->text(), "0");
    const QTreeWidgetItem* header = form->ResultList->headerItem();
    EXPECT_EQ(header->text(0), "Название компьютера");
    EXPECT_EQ(header->text(1), "Путь к файлу");
    EXPECT_EQ(header->text(2), "Размер файла");
    EXPECT_EQ(form->ResultList->columnWidth(1), 280);
}

TEST_F(IndexFormTest, SearchRunsFourOfSixThenToTheEnd) {
    addShares(10);
    walker.closeGate();
    search("*.txt");
    EXPECT_FALSE(form->StartBtn->isEnabled());
    EXPECT_TRUE(form->StopBtn->isEnabled());
    EXPECT_FALSE(form->ExtSrchPanel->isEnabled());
    EXPECT_FALSE(form->busyIndicator_->isHidden());
    form->onStatusTimer();
    EXPECT_EQ(form->labelThrCnt->text(), "4");
    EXPECT_EQ(history(), (QStringList{"\\\\127.0.0.1\\s<>HOST1", "\\\\127.0.0.2\\s<>HOST2",
                                      "\\\\127.0.0.3\\s<>HOST3", "\\\\127.0.0.4\\s<>HOST4"}));

    // Enter in the edit while searching does not start a second search.
    emit form->SrchStr->returnPressed();
    EXPECT_EQ(history().size(), 4);

    walker.openGate();
    ASSERT_TRUE(idle());
    EXPECT_LE(walker.maxRunning.load(), 6);
    const QStringList h = history();
    EXPECT_EQ(h.size(), 12);
    EXPECT_EQ(h.mid(10), (QStringList{"--------------------------------", "поиск закончен!"}));
    EXPECT_EQ(form->ResultList->topLevelItemCount(), 10);
    EXPECT_EQ(form->labelFoundedFileCnt->text(), "10");
    EXPECT_EQ(form->labelFileCnt->text(), "20"); // files examined, not only found
    EXPECT_FALSE(form->StopBtn->isEnabled());
    EXPECT_TRUE(form->ExtSrchPanel->isEnabled());
    EXPECT_TRUE(form->busyIndicator_->isHidden());
    form->onStatusTimer();
    EXPECT_EQ(form->labelThrCnt->text(), "0");

    // A new search starts from empty results and history.
    search("b.dat");
    ASSERT_TRUE(idle());
    EXPECT_EQ(form->ResultList->topLevelItemCount(), 10);
    EXPECT_EQ(history().size(), 12);
}

TEST_F(IndexFormTest, OneWorkerSearchesInTurnAndEndsOnce) {
    cfg->WriteNumber("main", "MaxIndexThrds", 1);
    addShares(5);
    search("*");
    ASSERT_TRUE(idle());
    EXPECT_EQ(walker.maxRunning.load(), 1);
    EXPECT_EQ(history().count("поиск закончен!"), 1);
    EXPECT_EQ(history().last(), "поиск закончен!");
    EXPECT_EQ(column(0), (QStringList{"HOST1", "HOST1", "HOST2", "HOST2", "HOST3", "HOST3", "HOST4", "HOST4",
                                      "HOST5", "HOST5"}));
}

TEST_F(IndexFormTest, SearchWithoutWorkersComesBackToIdle) {
    search("*"); // no shares
    EXPECT_TRUE(form->StartBtn->isEnabled());
    EXPECT_FALSE(form->StopBtn->isEnabled());
    EXPECT_EQ(history(), (QStringList{"--------------------------------", "поиск закончен!"}));

    cfg->WriteNumber("main", "MaxIndexThrds", -1);
    addShares(2);
    search("*");
    EXPECT_TRUE(form->StartBtn->isEnabled());
    EXPECT_EQ(walker.opened.load(), 0);
}

TEST_F(IndexFormTest, BlankTextIsRefused) {
    addShares(1);
    search("   ");
    EXPECT_EQ(messages, QStringList{"Необходимо указать условие поиска (не может быть пустым)"});
    EXPECT_TRUE(form->StartBtn->isEnabled());
    EXPECT_EQ(walker.opened.load(), 0);
}

TEST_F(IndexFormTest, StopSkipsSharesNotYetStarted) {
    cfg->WriteNumber("main", "MaxIndexThrds", 1);
    addShares(3);
    walker.closeGate();
    search("*");
    form->onStopClicked();
    walker.openGate();
    ASSERT_TRUE(idle());
    EXPECT_EQ(history(), (QStringList{"\\\\127.0.0.1\\s<>HOST1", "--------------------------------",
                                      "поиск закончен!"}));
    EXPECT_EQ(walker.opened.load(), 1);
}

TEST_F(IndexFormTest, ExpressionModeMatchesTheFullPathWithinTheBand) {
    walker.addShare("\\\\127.0.0.1\\s\\",
                    {FakeNode::dir("docs", {FakeNode::file("a.txt", 1024), FakeNode::file("b.txt", 4096),
                                            FakeNode::file("c.txt", 1023)}),
                     FakeNode::file("d.txt", 2048)});
    form->SearchShares.push_back(ParseScannedShare("\\\\127.0.0.1\\s<>H"));
    form->RegexpRB->click();
    EXPECT_TRUE(form->RegexMode);
    EXPECT_EQ(form->SearchDescrText->text(), "Регулярное выражение для поиска файла: ");
    EXPECT_TRUE(form->RegExprTestEdit->isEnabled());
    form->SpinFrom->setValue(1);
    form->SpinTo->setValue(2);
    search("\\\\docs\\\\.*\\.txt$");
    ASSERT_TRUE(idle());
    EXPECT_EQ(column(1), QStringList{"\\\\127.0.0.1\\s\\docs\\a.txt"});
    EXPECT_EQ(column(2), QStringList{"1024 b"});

    form->onClearSizeLimitClicked();
    EXPECT_EQ(form->SpinFrom->value(), 0);
    EXPECT_EQ(form->SpinTo->value(), 0);
    form->TextRB->click();
    EXPECT_FALSE(form->RegexMode);
    EXPECT_EQ(form->SearchDescrText->text(), "Имя файла для поиска: ");
    EXPECT_FALSE(form->RegExprTestEdit->isEnabled());
}

TEST_F(IndexFormTest, ExpressionTestSelectsTheMatch) {
    form->RegexpRB->click();
    form->SrchStr->setText("b+c");
    form->RegExprTestEdit->setText("ёёbbbcd");
    form->onTestRegexClicked();
    EXPECT_EQ(form->RegExprTestEdit->selectionStart(), 2);
    EXPECT_EQ(form->RegExprTestEdit->selectedText(), "bbbc");

    form->RegExprTestEdit->setText("xyz");
    form->onTestRegexClicked();
    EXPECT_EQ(messages, QStringList{"Строка соответствующая выражению не найдена!"});

    form->SrchStr->setText("a)");
    form->onTestRegexClicked();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].startsWith("Ошибка в выражении: ")) << messages[1].toStdString();
    EXPECT_TRUE(messages[1].endsWith(" (pos 1)")) << messages[1].toStdString();
    EXPECT_EQ(form->RegExprTestEdit->selectedText(), "");
}

// An expression that does not compile is named before any share is opened,
// in both modes, and the window stays ready for a corrected one.
TEST_F(IndexFormTest, FaultyExpressionIsRefusedBeforeTheSearchStarts) {
    struct Case {
        bool regexMode;
        const char* text;
        const char* pos; // counted in the text as typed
    };
    for (const Case& c : {Case{false, "[abc", " (pos 4)"}, Case{false, "(отчёт", " (pos 6)"},
                          Case{true, "a(b", " (pos 3)"}, Case{true, "x**", " (pos 2)"}}) {
        SCOPED_TRACE(c.text);
        (c.regexMode ? form->RegexpRB : form->TextRB)->click();
        messages.clear();
        addShares(1);
        search(c.text);
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].startsWith("Ошибка в выражении: TRegExpr(comp): "))
            << messages[0].toStdString();
        EXPECT_TRUE(messages[0].endsWith(c.pos)) << messages[0].toStdString();
        EXPECT_TRUE(form->StartBtn->isEnabled());
        EXPECT_FALSE(form->Searching());
        EXPECT_EQ(walker.opened.load(), 0);
        EXPECT_TRUE(errors.isEmpty());
    }
    form->TextRB->click();
    messages.clear();
    search("a*");
    ASSERT_TRUE(idle());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_GT(walker.opened.load(), 0);
}

TEST_F(IndexFormTest, ExtendedPanelToggles) {
    // The button shows "+" while the panel is shut and "−" while it is open.
    const auto shows = [this](int picture) {
        return form->ExtSearchBtn->icon().pixmap(16).toImage() == ormixIcon(picture).pixmap(16).toImage();
    };
    form->show();
    EXPECT_EQ(form->ExtSrchPanel->maximumHeight(), 1);
    EXPECT_TRUE(shows(IconPlusBox));
    form->onExtendedSearchClicked();
    EXPECT_EQ(form->ExtSrchPanel->maximumHeight(), form->ExtSrchPanel->sizeHint().height());
    EXPECT_GE(form->ExtSrchPanel->maximumHeight(), 64);
    EXPECT_TRUE(shows(IconMinusBox));
    form->onExtendedSearchClicked();
    EXPECT_EQ(form->ExtSrchPanel->maximumHeight(), 1);
    EXPECT_TRUE(shows(IconPlusBox));
    form->onExtendedSearchClicked();
    form->hide();
    form->show(); // every showing collapses it again
    EXPECT_EQ(form->ExtSrchPanel->maximumHeight(), 1);
    EXPECT_TRUE(shows(IconPlusBox));
    EXPECT_TRUE(form->statusTimer_->isActive());
    form->close();
    EXPECT_FALSE(form->statusTimer_->isActive());
}

TEST_F(IndexFormTest, SortsByColumnAscending) {
    addRow("beta", "\\\\127.0.0.2\\s\\B.txt", 2048);
    addRow(" Alpha", "\\\\127.0.0.1\\s\\c.txt", 1024);
    addRow("gamma", "\\\\127.0.0.3\\s\\a.txt", 3LL << 30);
    addRow("ALPHA2", "\\\\127.0.0.4\\s\\d.txt", 0);
    EXPECT_EQ(column(2), (QStringList{"2 Kb", "1024 b", "3,072 Mb", "0"}));
    EXPECT_EQ(form->labelFoundedFileCnt->text(), "4");

    form->ResultListColumnClick(2);
    EXPECT_EQ(column(2), (QStringList{"0", "1024 b", "2 Kb", "3,072 Mb"}));
    form->ResultListColumnClick(0);
    EXPECT_EQ(column(0), (QStringList{" Alpha", "ALPHA2", "beta", "gamma"}));
    form->ResultListColumnClick(1);
    EXPECT_EQ(column(1).first(), "\\\\127.0.0.1\\s\\c.txt");
    // No descending order: a second click sorts ascending again.
    form->ResultListColumnClick(2);
    form->ResultListColumnClick(2);
    EXPECT_EQ(column(2).first(), "0");
}

TEST_F(IndexFormTest, ResultMenuListsTheProgramsAndRewritesProgIndex) {
    cfg->WriteText("ProgIndex", "9", "stale");
    cfg->WriteText("ProgList", "Viewer", "viewer %%prg%%");
    cfg->WriteText("ProgList", "Editor", "editor %%prg%%");
    form->BuildResultMenu();
    QStringList captions;
    QList<int> tags;
    for (QAction* a : form->resultMenu_->actions()) {
        captions << (a->isSeparator() ? "-" : a->text());
        tags << a->data().toInt();
    }
    EXPECT_EQ(captions,
              (QStringList{"Копировать файл", "Открыть директорию", "Копировать полный путь файла в буфер",
                           "-", "<Добавить/удалить/изменить программу>", "Viewer", "Editor"}));
    EXPECT_EQ(tags, (QList<int>{0, 1, 2, 3, 4, 5, 6}));
    std::vector<std::string> keys;
    cfg->ListKeys("ProgIndex", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"5", "6"}));
    EXPECT_EQ(cfg->ReadText("ProgIndex", "5", ""), "Viewer");
    EXPECT_EQ(cfg->ReadText("ProgIndex", "6", ""), "Editor");
}

// A share "mounted" in a temporary folder, or refused with a reason.
class FolderMounter : public ShareMounter {
public:
    ShareMountResult Mount(const std::string& shareUnc, const std::atomic<bool>&) override {
        mounted.push_back(shareUnc);
        return folder.empty() ? ShareMountResult{{}, "нет FUSE"} : ShareMountResult{folder, {}};
    }
    std::string folder;
    std::vector<std::string> mounted;
};

TEST_F(IndexFormTest, ProgramsGetThePathAsOneArgument) {
    RecordingLauncher fake;
    ScopedLauncher scope(fake);
    FolderMounter mounter; // refuses
    form->SetShareMounter(&mounter);
    addRow("H", "\\\\127.0.0.1\\s\\my dir\\a \"b\"; rm -rf ~.txt", 1);
    form->ResultList->topLevelItem(0)->setSelected(true);
    cfg->WriteText("ProgList", "Open", "prog --file=%%prg%% \"in %%dir%%\" %%PRG%% x;y %%unc%%");
    cfg->WriteText("ProgList", "Plain", "plain-prog %%url%%");
    form->BuildResultMenu();
    form->onResultMenuClicked(5);
    EXPECT_EQ(form->labelAction->text(), " Подключение ресурса \\\\127.0.0.1\\s...");
    ASSERT_TRUE(waitFor([&] { return fake.calls().size() == 1; }));
    form->onResultMenuClicked(6);
    form->onResultMenuClicked(42); // no such entry: "??" is what runs
    const auto calls = fake.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[0].detached);
    EXPECT_EQ(calls[0].program, "prog");
    EXPECT_EQ(calls[0].arguments,
              (QStringList{"--file=smb://127.0.0.1/s/my%20dir/a%20%22b%22%3B%20rm%20-rf%20~.txt",
                           "in smb://127.0.0.1/s/my%20dir", "%%PRG%%", "x;y",
                           "\\\\127.0.0.1\\s\\my dir\\a \"b\"; rm -rf ~.txt"}));
    EXPECT_EQ(mounter.mounted, std::vector<std::string>{"\\\\127.0.0.1\\s"});
    // The fallback is said once, in the status line, not in a message box.
    EXPECT_EQ(form->labelAction->text(),
              " Программе «Open» передан адрес smb://, а не локальный путь: нет FUSE");
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(calls[1].program, "plain-prog");
    EXPECT_EQ(calls[1].arguments,
              QStringList{"smb://127.0.0.1/s/my%20dir/a%20%22b%22%3B%20rm%20-rf%20~.txt"});
    EXPECT_EQ(calls[2].program, "??");
    EXPECT_EQ(mounter.mounted.size(), 1u) << "a template without local placeholders mounts nothing";

    // Mounted: the local paths under the mount folder.
    QTemporaryDir mount;
    ASSERT_TRUE(QDir(mount.path()).mkpath("my dir"));
    QFile file(mount.filePath("my dir/a \"b\"; rm -rf ~.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    mounter.folder = mount.path().toStdString();
    form->onResultMenuClicked(5);
    ASSERT_TRUE(waitFor([&] { return fake.calls().size() == 4; }));
    EXPECT_EQ(fake.calls()[3].arguments.mid(0, 2),
              (QStringList{"--file=" + mount.filePath("my dir/a \"b\"; rm -rf ~.txt"),
                           "in " + mount.filePath("my dir")}));
    EXPECT_EQ(form->labelAction->text(), "");
}

// A share mounted for a program that never answers: quitting the program
// kills gio at once instead of waiting out its time limit, and the program is
// not started.
TEST_F(IndexFormTest, QuitDuringAProgramsMountKillsGio) {
    StalledGio gio(dir.path().toStdString());
    form->SetShareMounter(nullptr); // the desktop's mount, through gio
    addRow("H", "\\\\127.0.0.1\\s\\a.txt", 1);
    form->ResultList->topLevelItem(0)->setSelected(true);
    cfg->WriteText("ProgList", "Open", "ormix-no-such-program %%prg%%");
    form->BuildResultMenu();
    form->onResultMenuClicked(5);
    ASSERT_TRUE(waitFor([&] { return !gio.pids().empty(); }));
    const pid_t pid = gio.pids()[0];
    EXPECT_EQ(::kill(pid, 0), 0) << "gio waits for the share";
    EXPECT_TRUE(form->PreparingProgram());

    SmbHelperPool pool;
    const auto t0 = std::chrono::steady_clock::now();
    StopAndJoinEverything(pool, nullptr, form.get());
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, std::chrono::seconds(30)) << "waited for gio's time limit";
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH) << "gio was killed and reaped";
    EXPECT_FALSE(form->PreparingProgram());
    QCoreApplication::processEvents();
    EXPECT_EQ(form->labelAction->text(), " Подключение ресурса \\\\127.0.0.1\\s...");
    EXPECT_TRUE(messages.isEmpty() && errors.isEmpty()) << (messages + errors).join(" | ").toStdString();
}

// The expression test field holds its own default text, and a long path
// keeps its file name in sight: elided in the middle, whole in the tooltip.
TEST_F(IndexFormTest, TestFieldAndPathColumnShowTheirWholeText) {
    form->show();
    form->onExtendedSearchClicked();
    QCoreApplication::processEvents();
    QLineEdit* edit = form->RegExprTestEdit;
    const int needed = edit->fontMetrics().horizontalAdvance(edit->text());
    EXPECT_GE(edit->width(), needed + 8) << edit->width() << " < " << needed;
    for (QWidget* w : form->ExtSrchPanel->findChildren<QWidget*>()) {
        if (w->isVisible() && w->parentWidget() == form->ExtSrchPanel) {
            EXPECT_TRUE(form->ExtSrchPanel->rect().contains(w->geometry())) << w->objectName().toStdString();
        }
    }

    const std::string folder = "\\\\127.0.0.1\\share\\" + std::string(40, 'd') + "\\";
    addRow("HOST", folder.substr(0) + "report.txt", 1);
    const QTreeWidgetItem* row = form->ResultList->topLevelItem(0);
    EXPECT_EQ(row->toolTip(1), row->text(1));
    EXPECT_TRUE(row->text(1).endsWith("report.txt"));
    EXPECT_EQ(form->ResultList->textElideMode(), Qt::ElideMiddle);
}

TEST_F(IndexFormTest, PeerTextsAndNotesStayOneVisibleLine) {
    RecordingLauncher fake;
    ScopedLauncher scope(fake);
    // A file name with a line break and an escape: the row shows them
    // visibly, the program gets the real name.
    addRow("EVIL\tHOST", "\\\\127.0.0.1\\s\\x\n\x1b[2J.txt", 1);
    EXPECT_EQ(column(0), QStringList{QString::fromUtf8("EVIL\u2409HOST")});
    EXPECT_EQ(column(1), QStringList{QString::fromUtf8("\\\\127.0.0.1\\s\\x\u240A\u241B[2J.txt")});
    form->ResultList->topLevelItem(0)->setSelected(true);
    cfg->WriteText("ProgList", "Open", "prog %%url%%");
    form->BuildResultMenu();
    form->onResultMenuClicked(5);
    ASSERT_EQ(fake.calls().size(), 1u);
    EXPECT_EQ(fake.calls()[0].arguments, QStringList{"smb://127.0.0.1/s/x%0A%1B%5B2J.txt"});

    // A walk that breaks off, one too deep and a name that takes too long:
    // each one line in the history.
    std::vector<WalkRecord> stream;
    for (int i = 0; i <= kMaxWalkDepth; ++i)
        stream.push_back({WalkRecord::Folder, "d", 0});
    for (int i = 0; i <= kMaxWalkDepth; ++i)
        stream.push_back({WalkRecord::FolderEnd, {}, 0});
    stream.push_back({WalkRecord::File, std::string(60, 'a') + "cb", 1});
    walker.addStream("\\\\127.0.0.1\\deep\\", std::move(stream)); // no end mark for the root
    form->SearchShares.push_back(ParseScannedShare("\\\\127.0.0.1\\deep<>HOST"));
    form->RegexpRB->setChecked(true);
    form->onSearchModeClicked();
    search("(a|aa)*b");
    ASSERT_TRUE(idle());
    std::string deep = "\\\\127.0.0.1\\deep\\";
    for (int i = 0; i <= kMaxWalkDepth; ++i)
        deep += "d\\";
    const QStringList lines = history();
    EXPECT_TRUE(
        lines.contains("папки глубже 256 уровней пропущены: " + QString::fromStdString(deep) + " (HOST)"))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains("имя слишком долго сравнивается с выражением, файл пропущен: "
                               "\\\\127.0.0.1\\deep\\" +
                               QString(60, 'a') + "cb (HOST)"));
    EXPECT_TRUE(
        lines.contains("ресурс просмотрен не полностью, обход прерван: \\\\127.0.0.1\\deep\\ (HOST)"));
}

TEST_F(IndexFormTest, ActionsOnTheSelectedRow) {
    RecordingLauncher fake;
    ScopedLauncher scope(fake);
    // Nothing selected: nothing happens.
    form->onOpenFolderClicked();
    form->onCopyFileClicked();
    EXPECT_TRUE(fake.calls().empty());
    EXPECT_TRUE(copier.calls.empty());

    addRow("H", "\\\\127.0.0.1\\s\\Папка 1\\отчёт.txt", 10);
    form->ResultList->topLevelItem(0)->setSelected(true);
    form->onOpenFolderClicked();
    ASSERT_EQ(fake.calls().size(), 1u);
    EXPECT_EQ(fake.calls()[0].program, "xdg-open");
    EXPECT_EQ(fake.calls()[0].arguments, QStringList{"smb://127.0.0.1/s/%D0%9F%D0%B0%D0%BF%D0%BA%D0%B0%201"});

    form->onCopyPathClicked();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->text(), "\\\\127.0.0.1\\s\\Папка 1\\отчёт.txt");
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_EQ(data->urls()[0].toString(QUrl::FullyEncoded),
              "smb://127.0.0.1/s/%D0%9F%D0%B0%D0%BF%D0%BA%D0%B0%201/%D0%BE%D1%82%D1%87%D1%91%D1%82.txt");

    QString suggested;
    form->AskSaveFileName = [&](const QString& name) {
        suggested = name;
        return QString(); // cancelled
    };
    form->onCopyFileClicked();
    EXPECT_EQ(suggested, "отчёт.txt");
    EXPECT_TRUE(copier.calls.empty());

    const QString target = dir.filePath("copy.txt");
    form->AskSaveFileName = [&](const QString&) { return target; };
    form->onCopyFileClicked();
    ASSERT_EQ(copier.calls.size(), 1u);
    EXPECT_EQ(copier.calls[0].first, "\\\\127.0.0.1\\s\\Папка 1\\отчёт.txt");
    EXPECT_EQ(copier.calls[0].second, target.toStdString());
    EXPECT_TRUE(messages.isEmpty());

    // A failure and a new name are each told once, naming the file.
    const QString file = "\\\\127.0.0.1\\s\\Папка 1\\отчёт.txt";
    copier.status = 5;
    form->onResultMenuClicked(0);
    EXPECT_EQ(copier.calls.size(), 2u);
    EXPECT_EQ(messages,
              QStringList{"Не удалось скопировать файл " + file + " в " + target +
                          ": доступ запрещён (к файлу на компьютере или к папке, куда он копируется)."});
    copier.status = 0;
    copier.finalPath = dir.filePath("copy (2).txt").toStdString();
    messages.clear();
    form->onCopyFileClicked();
    EXPECT_EQ(messages, QStringList{"Файл " + target + " уже существует. Файл " + file +
                                    " сохранён под именем copy (2).txt."});
}

TEST_F(IndexFormTest, ProgramsWindowChangesTheMenu) {
    ProgramsWindow programs(*cfg);
    programs.ShowMessage = [](const QString&) {};
    form->SetOpenWithForm(&programs);
    form->BuildResultMenu();
    EXPECT_EQ(form->resultMenu_->actions().size(), 5);
    QTimer::singleShot(0, &programs, [&] {
        programs.ProgNameEdit->setText("Viewer");
        programs.ComStrEdit->setText("viewer %%prg%%");
        programs.AddButt->click();
        programs.closeButton_->click();
    });
    form->onResultMenuClicked(4); // shows the programs window modally
    ASSERT_EQ(form->resultMenu_->actions().size(), 6);
    EXPECT_EQ(form->resultMenu_->actions()[5]->text(), "Viewer");
}

} // namespace
} // namespace ormix::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QLocale::setDefault(QLocale::c());
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

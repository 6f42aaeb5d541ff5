// The search window's result actions against the test LAN through a real
// GVfs: a private D-Bus session (gvfsd and its FUSE folder) inside the LAN's
// namespace. A user's program gets local paths under the GVfs mount and
// reads the file through them; where no mount can be made it gets the URL
// and the status line says why; every failing action gives one message.
// Without GVfs or FUSE this test fails (it proves nothing by skipping).
#include "fixtures/gvfs_session.h"
#include "fixtures/required.h"
#include "fixtures/testlan.h"
#include "fixtures/waitfor.h"
#include "gui/application.h"
#include "gui/searchwindow.h"
#include "settings/configfile.h"
#include "shares/accounts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;

namespace ormix::testing {
namespace {

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& file, const std::string& text, fs::perms mode) {
    std::ofstream(file, std::ios::binary) << text;
    fs::permissions(file, mode, fs::perm_options::replace);
}

std::unique_ptr<TestLan> g_lan;
std::unique_ptr<GvfsSession> g_session;
std::string g_problem; // why the suite cannot run
bool g_lanMissing = false;

const std::vector<std::string> kMounts = {
    "smb://127.0.0.11/Docs", "smb://127.0.0.12/%D0%90%D1%80%D1%85%D0%B8%D0%B2", "smb://127.0.0.13/Secret"};

class ResultActionsGvfs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_problem = missingGvfsPart();
        if (!g_problem.empty())
            return;
        g_lan = std::make_unique<TestLan>("actions-" + std::to_string(::getpid()));
        g_problem = g_lan->upAndEnter();
        if (!g_problem.empty()) {
            g_lanMissing = true;
            return;
        }
        g_session = std::make_unique<GvfsSession>();
        g_problem = g_session->start();
        qputenv("ORMIX_SMB_HELPER", qgetenv("ORMIX_BIN_DIR") + "/ormix-smb");
    }
    static void TearDownTestSuite() {
        if (g_session)
            g_session->stop(kMounts);
        g_session.reset();
        g_lan.reset();
    }

    void SetUp() override {
        if (!g_problem.empty()) {
            if (g_lanMissing)
                ORMIX_SKIP_OR_FAIL(g_problem);
            FAIL() << "GVfs cannot run here: " << g_problem;
        }
        ASSERT_TRUE(dir.isValid());
        work = dir.path().toStdString();
        cfg = std::make_unique<ConfigFile>(work + "/cfg.ini");
        form = std::make_unique<SearchWindow>(*cfg);
        form->ShowMessage = [this](const QString& m) { messages << m; };
        // The probe writes what it got and what it read through it.
        writeFile(work + "/probe.sh",
                  "#!/bin/sh\n"
                  "out=$1; shift\n"
                  "{ printf '%s\\n' \"$1\" \"$2\"; cat -- \"$1\"; ls -- \"$2\"; } >\"$out.part\" 2>&1\n"
                  "mv \"$out.part\" \"$out\"\n",
                  fs::perms::owner_all);
    }
    void TearDown() override {
        if (form)
            form->StopSearchAndWait();
    }

    void selectRow(const std::string& uncPath) {
        form->ResultList->clear();
        const size_t slash = uncPath.rfind('\\') + 1;
        form->AddFoundFile("HOST", uncPath.substr(0, slash), 1, uncPath.substr(slash));
        form->ResultList->topLevelItem(0)->setSelected(true);
    }
    // Runs the program entry `templ` on the selected row and returns the
    // probe's lines once it has written them.
    std::vector<std::string> runProbe(const std::string& templ) {
        const std::string out = work + "/out-" + std::to_string(++runs_);
        cfg->WriteText("ProgList", "Probe", work + "/probe.sh " + out + " " + templ);
        form->BuildResultMenu();
        form->onResultMenuClicked(5);
        waitFor([&] { return fs::exists(out); }, 120000);
        std::vector<std::string> lines;
        std::istringstream in(fileText(out));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    QTemporaryDir dir;
    std::string work;
    std::unique_ptr<ConfigFile> cfg;
    std::unique_ptr<SearchWindow> form;
    QStringList messages;
    int runs_ = 0;
};

// "%%prg%%" and "%%dir%%" are local paths under the session's FUSE folder; a
// plain program reads the file's bytes through them. A share that refuses
// guests is mounted with the account its host's shares were listed with.
TEST_F(ResultActionsGvfs, ProgramsReadTheFileThroughLocalPaths) {
    processSignIn().setHostAccount("127.0.0.13", Account("OFFICE", "ormixuser", "Office-2026"));
    const struct {
        const char* unc;
        const char* data; // the file in the LAN's data folder
        const char* inFolder;
    } cases[] = {
        {R"(\\127.0.0.11\Docs\minutes.txt)", "ALPHA/docs/minutes.txt", "minutes.txt"},
        {"\\\\127.0.0.12\\Архив\\Отчёты\\Отчёт за 2021 год.txt", "BRAVO/archive/Отчёты/Отчёт за 2021 год.txt",
         "Отчёт за 2020 год.txt"},
        {R"(\\127.0.0.13\Secret\Planning\budget-2026.txt)", "CHARLIE/secret/Planning/budget-2026.txt",
         "archive.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unc);
        selectRow(c.unc);
        const std::vector<std::string> lines = runProbe("%%prg%% %%dir%%");
        ASSERT_GE(lines.size(), 3u) << "the program was not run or got nothing";
        if (!isMountPoint(g_session->fuseFolder()))
            FAIL() << "FUSE could not mount the GVfs folder " << g_session->fuseFolder()
                   << " on this machine (status line: " << form->labelAction->text().toStdString() << ")";
        EXPECT_EQ(lines[0].rfind(g_session->fuseFolder() + "/", 0), 0u) << lines[0];
        EXPECT_EQ(lines[1].rfind(g_session->fuseFolder() + "/", 0), 0u) << lines[1];
        EXPECT_EQ(fs::path(lines[0]).parent_path().string(), lines[1]);
        const std::string expected = fileText(fs::path(g_lan->folder()) / "data" / c.data);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(lines[2] + "\n", expected) << "the bytes read through %%prg%%";
        EXPECT_NE(std::find(lines.begin() + 3, lines.end(), c.inFolder), lines.end()) << "%%dir%% lists it";
        EXPECT_EQ(form->labelAction->text(), "");
        EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    }
    processSignIn().setBook({});
}

// No SMB server behind the address: the program gets the URL, the status
// line says why, and no message box interrupts.
TEST_F(ResultActionsGvfs, FallbackPassesTheUrlAndSaysWhy) {
    selectRow(R"(\\127.0.0.15\Data\file.txt)");
    const std::vector<std::string> lines = runProbe("%%prg%% %%dir%%");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "smb://127.0.0.15/Data/file.txt");
    EXPECT_EQ(lines[1], "smb://127.0.0.15/Data");
    const QString status = form->labelAction->text();
    EXPECT_TRUE(status.startsWith(" Программе «Probe» передан адрес smb://, а не локальный путь: ресурс "
                                  "\\\\127.0.0.15\\Data не подключается"))
        << status.toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

// Each failing action gives exactly one message, naming the file or folder;
// copy tells the new name when the chosen one was taken.
TEST_F(ResultActionsGvfs, FailingActionsGiveOneMessageEach) {
    const fs::path bin = work + "/bin", empty = work + "/empty";
    fs::create_directories(bin);
    fs::create_directories(empty);
    writeFile(bin / "xdg-open", "#!/bin/sh\nexit 3\n", fs::perms::owner_all); // "no handler"
    writeFile(work + "/not-a-program", "text\n", fs::perms::owner_read | fs::perms::owner_write);
    const QByteArray path = qgetenv("PATH");

    const std::string docs = R"(\\127.0.0.11\Docs\minutes.txt)";
    const std::string privateFile = R"(\\127.0.0.17\Private\salaries.txt)";
    struct Case {
        const char* name;
        std::string row;
        std::function<void()> act;
        QStringList parts; // the one message holds each
    };
    const QString target = QString::fromStdString(work + "/saved.txt");
    const Case cases[] = {
        {"open folder, no handler",
         docs,
         [&] {
             qputenv("PATH", QByteArray::fromStdString(bin.string()) + ":" + path);
             form->onOpenFolderClicked();
         },
         {"Не удалось открыть папку \\\\127.0.0.11\\Docs", "код 3"}},
        {"open folder, no xdg-open",
         docs,
         [&] {
             qputenv("PATH", QByteArray::fromStdString(empty.string()));
             form->onOpenFolderClicked();
         },
         {"Не удалось открыть папку \\\\127.0.0.11\\Docs", "xdg-open не найдена"}},
        {"program not found",
         docs,
         [&] {
             cfg->WriteText("ProgList", "Missing", "ormix-no-such-program %%url%%");
             form->BuildResultMenu();
             form->onResultMenuClicked(5);
         },
         {"«Missing»", "\\\\127.0.0.11\\Docs\\minutes.txt", "ormix-no-such-program не найдена"}},
        {"program does not start",
         docs,
         [&] {
             cfg->RemoveKey("ProgList", "Missing");
             cfg->WriteText("ProgList", "Broken", work + "/not-a-program %%unc%%");
             form->BuildResultMenu();
             form->onResultMenuClicked(5);
         },
         {"«Broken»", "\\\\127.0.0.11\\Docs\\minutes.txt", "не запускается"}},
        {"copy refused by the server",
         privateFile,
         [&] {
             form->AskSaveFileName = [&](const QString&) { return target; };
             form->onCopyFileClicked();
         },
         {"Не удалось скопировать файл \\\\127.0.0.17\\Private\\salaries.txt", "доступ запрещён"}},
        {"copy into a missing folder",
         docs,
         [&] {
             form->AskSaveFileName = [&](const QString&) {
                 return QString::fromStdString(work + "/no/such.txt");
             };
             form->onCopyFileClicked();
         },
         {"Не удалось скопировать файл \\\\127.0.0.11\\Docs\\minutes.txt", "/no не существует"}},
        {"copy under a new name",
         docs,
         [&] {
             writeFile(target.toStdString(), "mine\n", fs::perms::owner_read | fs::perms::owner_write);
             form->AskSaveFileName = [&](const QString&) { return target; };
             form->onCopyFileClicked();
         },
         {"Файл " + target + " уже существует", "сохранён под именем saved (2).txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        selectRow(c.row);
        messages.clear();
        c.act();
        waitFor([&] { return !messages.isEmpty(); }, 30000);
        waitFor([] { return false; }, 300); // a second message would come now
        qputenv("PATH", path);
        ASSERT_EQ(messages.size(), 1) << messages.join('\n').toStdString();
        for (const QString& part : c.parts)
            EXPECT_TRUE(messages[0].contains(part))
                << messages[0].toStdString() << "\nlacks " << part.toStdString();
    }
    // The renamed copy holds the server's bytes; the file that was there is untouched.
    EXPECT_EQ(fileText(work + "/saved (2).txt"), "minutes\n");
    EXPECT_EQ(fileText(work + "/saved.txt"), "mine\n");
}

} // namespace
} // namespace ormix::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

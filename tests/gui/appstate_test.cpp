// The program's shared state and its windows: whatever order the windows are
// made in, they work on one set of settings and one computer list; a save of
// the settings is one rewrite of cfg.ini; a scan keeps the ranges it started with.
#include "shell_test_util.h"

#include "fixtures/files.h"
#include "gui/app.h"
#include "gui/appstate.h"
#include "gui/computerlistwindow.h"
#include "gui/scansession.h"
#include "gui/settingswindow.h"
#include "platform/atomicfile.h"

#include <QCheckBox>
#include <QListWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ormix::test {
namespace {

using ormix::testing::readFile;
using ormix::testing::writeFile;

class AppStateWindows : public InTempFolder {};

TEST_F(AppStateWindows, WindowsMadeInEitherOrderShareTheSettingsAndTheComputerList) {
    for (bool mainFirst : {true, false}) {
        SCOPED_TRACE(mainFirst ? "main window first" : "main window last");
        writeFile("cfg.ini", "[main]\niprange=127.0.0.1-5\nShowResCount=1\n");
        writeFile("range.lst", "127.0.0.9,OLD,,831090864\r\n");
        std::unique_ptr<AppState> state = makeTestState();
        state->reloadSettings();
        ASSERT_TRUE(state->loadComputerList());

        std::unique_ptr<MainWindow> main;
        std::unique_ptr<SettingsWindow> settings;
        std::unique_ptr<ComputerListWindow> computers;
        if (mainFirst)
            main = std::make_unique<MainWindow>(*state);
        settings = std::make_unique<SettingsWindow>(*state, SetupHost{});
        computers = std::make_unique<ComputerListWindow>(state->computers());
        if (!mainFirst)
            main = std::make_unique<MainWindow>(*state);
        ConnectWindows({main.get(), settings.get(), nullptr, nullptr, nullptr, computers.get()});

        std::vector<ScanOptions> launched;
        std::shared_ptr<ScanObserver> observer;
        main->Session().LaunchScanner = [&](ScanOptions options, std::shared_ptr<ScanObserver> obs) {
            launched.push_back(options);
            observer = std::move(obs);
        };
        main->Session().Lister = [](const std::string&) { return ShareListing{}; };
        QStringList messages;
        computers->ShowMessage = [&](const QString& text) { messages << text; };
        settings->ShowMessage = [&](const QString& text) { messages << text; };

        EXPECT_EQ(settings->AdressesList->count(), 1);
        EXPECT_TRUE(settings->ResCntCheck->isChecked());

        // A scan: the found host goes into the one list, saved at the end.
        main->StartScan();
        ASSERT_EQ(launched.size(), 1u);
        HostTexts alpha;
        alpha.name = "ALPHA";
        alpha.ip = "127.0.0.1";
        alpha.mac = "02-00-00-00-00-01";
        observer->foundHost(alpha);
        observer->finished();
        ASSERT_TRUE(waitFor([&] { return !main->Scanning(); }));
        EXPECT_EQ(computers->Computers().count(), 2u);
        EXPECT_EQ(readFile("range.lst").find("127.0.0.1,ALPHA,02-00-00-00-00-01,"), 0u)
            << readFile("range.lst");

        // A save in the settings window is one rewrite and counts for the main window's next scan.
        main->StartScan();
        settings->AdressesList->addItem("127.0.1.1-5");
        const std::uint64_t rewrites = replacementsDone();
        settings->saveButton_->click();
        EXPECT_EQ(replacementsDone() - rewrites, 2u) << "one rewrite of cfg.ini, one of range.txt";
        observer->finished();
        ASSERT_TRUE(waitFor([&] { return !main->Scanning(); }));
        main->StartScan();
        ASSERT_EQ(launched.size(), 3u);
        EXPECT_EQ(*launched[1].ranges, std::vector<std::string>{"127.0.0.1-5"})
            << "the scan running at the save";
        EXPECT_EQ(*launched[2].ranges, (std::vector<std::string>{"127.0.0.1-5", "127.0.1.1-5"}));
        observer->finished();
        ASSERT_TRUE(waitFor([&] { return !main->Scanning(); }));
        EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();

        main.reset();
        computers.reset();
        settings.reset();
        std::remove("cfg.ini");
        std::remove("range.lst");
    }
}

} // namespace
} // namespace ormix::test

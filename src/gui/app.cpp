// The program entry.
#include "gui/app.h"

#include "settings/appsettings.h"

#include "gui/aboutbox.h"
#include "gui/accountswindow.h"
#include "gui/application.h"
#include "gui/appstate.h"
#include "gui/computerlistwindow.h"
#include "gui/drivewindow.h"
#include "gui/mainwindow.h"
#include "gui/programswindow.h"
#include "gui/searchwindow.h"
#include "gui/settingswindow.h"
#include "gui/singleinstance.h"
#include "platform/atomicfile.h"
#include "platform/programdir.h"
#include "shares/smbpool.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <utility>

namespace ormix {

void ConnectWindows(const ProgramWindows& w) {
    MainWindow* main = w.main;
    if (SettingsWindow* settings = w.settings) {
        QObject::connect(main, &MainWindow::SettingsWindowWanted, settings, [settings] { settings->exec(); });
        QObject::connect(settings, &QDialog::finished, main, &MainWindow::SettingsWindowClosed);
    }
    if (AboutBox* about = w.about)
        QObject::connect(main, &MainWindow::AboutBoxWanted, about, [about] { about->exec(); });
    if (SearchWindow* search = w.search) {
        QObject::connect(main, &MainWindow::SearchWindowWanted, search, [search] { search->exec(); });
        QObject::connect(main, &MainWindow::ScanStarting, search, [search] {
            search->StopRequested = true;
            search->SearchShares.clear();
        });
        QObject::connect(
            main, &MainWindow::SharesListed, search, [search](const std::vector<ScannedShare>& shares) {
                search->SearchShares.insert(search->SearchShares.end(), shares.begin(), shares.end());
            });
        QObject::connect(main, &MainWindow::SharesForgotten, search,
                         [search](const std::vector<ScannedShare>& shares) {
                             std::erase_if(search->SearchShares, [&shares](const ScannedShare& s) {
                                 return std::find(shares.begin(), shares.end(), s) != shares.end();
                             });
                         });
        QObject::connect(main, &MainWindow::ScanCompleted, search, &SearchWindow::RefreshIndexAfterScan);
    }
    if (DriveWindow* drive = w.drive)
        QObject::connect(main, &MainWindow::DriveWindowWanted, drive,
                         [drive](const QString& path) { drive->ShowForPath(path); });
    if (ComputerListWindow* computers = w.computers) {
        QObject::connect(main, &MainWindow::ComputerListWindowWanted, computers,
                         [computers] { computers->exec(); });
        QObject::connect(main, &MainWindow::ComputerListSaveWanted, computers,
                         &ComputerListWindow::SaveComputerList);
        QObject::connect(main, &MainWindow::ComputerFound, computers, &ComputerListWindow::NoteFoundBy);
    }
}

void StopAndJoinEverything(SmbHelperPool& pool, MainWindow* main, SearchWindow* search, DriveWindow* drive) {
    if (drive)
        drive->CancelAndWait();
    pool.shutdown();
    if (search)
        search->StopSearchAndWait();
    if (main)
        main->StopAndJoinWorkers();
}

namespace {

// What the program keeps for its run and its windows. Each window takes what
// it needs in its constructor, so only the About box (which shows the main
// window's title) has to come after another one; the windows reach each other
// through ConnectWindows. Only the main window is shown.
struct Program {
    std::unique_ptr<AppState> state;
    ProgramWindows windows;
};

Program createProgram() {
    Program p;
    // cfg.ini in the current folder at start, not the program's folder (an
    // installed copy: the user's configuration folder); range.lst in programDir.
    p.state = std::make_unique<AppState>(configFilePath(), programDir());
    AppState& state = *p.state;
    // Temporary files left by saves that were killed.
    removeStaleTemporaries(state.config().Path());
    removeStaleTemporaries("range.txt");
    state.reloadSettings();
    const bool listRead = static_cast<bool>(state.loadComputerList());

    ProgramWindows& w = p.windows;
    MainWindow* main = w.main = new MainWindow(state);
    SetupHost host;
    host.OpenHelpTopic = [main](int topic) { main->OpenHelpTopic(topic); };
    w.settings = new SettingsWindow(state, std::move(host));
    w.about = new AboutBox(*main);
    w.search = new SearchWindow(state.config());
    w.search->EnableIndex();
    auto* programs = new ProgramsWindow(state.config());
    w.search->SetOpenWithForm(programs);
    w.drive = new DriveWindow;
    w.computers = new ComputerListWindow(state.computers());
    ConnectWindows(w);

    if (!listRead)
        ReportError(QString::fromUtf8(kComputerListReadError));
    if (const int unreadable = state.computers().skippedLines(); unreadable > 0)
        main->AddLogLine(
            QStringLiteral("range.lst: не прочитано строк: %1 (они остаются в файле без изменений)")
                .arg(unreadable));
    LoadSessionAccounts(state.config(), main);
    return p;
}

} // namespace

int RunOrmix(int argc, char** argv) {
    OrmixApplication app(argc, argv); // arguments are ignored
    SingleInstance instance;
    if (!instance.TryBecomePrimary()) {
        // Another copy runs: bring it back and go, whether it answered or not.
        instance.SendRestoreRequest();
        return 0;
    }
    int code = 0;
    // The windows live until the process ends, as the state they work on.
    Program program;
    try {
        // An installed copy that has no cfg.ini yet opens the settings first,
        // so that a new user enters a range before pressing "Старт!".
        std::error_code ec;
        const bool firstStart = runsInstalled() && !std::filesystem::exists(configFilePath(), ec);
        program = createProgram();
        MainWindow* main = program.windows.main;
        QObject::connect(&instance, &SingleInstance::RestoreRequested, main, &MainWindow::RestoreFromTray);
        main->show();
        if (main->ConfigFile.IsTooLarge())
            ReportError(QStringLiteral("Файл настроек %1 больше 1 МБ. Он не прочитан и не будет изменён: "
                                       "программа работает с настройками по умолчанию.")
                            .arg(QString::fromStdString(main->ConfigFile.Path())));
        if (firstStart)
            QTimer::singleShot(0, main, &MainWindow::onSettingsClicked);
        // The SMB helpers of the share workers start in the background now,
        // so that the first scan does not wait for them.
        const int workers = program.state->settings().maxShareWorkers;
        processSmbPool().prestart(static_cast<size_t>(std::max(workers, 0)));
        code = app.exec();
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
        code = 0;
    } catch (...) {
        ReportError(QString());
        code = 0;
    }
    StopAndJoinEverything(processSmbPool(), program.windows.main, program.windows.search,
                          program.windows.drive);
    instance.Release();
    std::fflush(nullptr);
    return code;
}

} // namespace ormix

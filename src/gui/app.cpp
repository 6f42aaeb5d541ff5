// The program entry.
#include "gui/app.h"

#include "settings/appsettings.h"

#include "gui/aboutbox.h"
#include "gui/accountswindow.h"
#include "gui/application.h"
#include "gui/appwindows.h"
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
#include <utility>

namespace ormix {

AppWindows& appWindows() {
    static AppWindows windows;
    return windows;
}

void StopAndJoinEverything(SmbHelperPool& pool, TMainDlg* main, TIndexForm* search,
                           TConnectDriveForm* drive) {
    if (drive)
        drive->CancelAndWait();
    pool.shutdown();
    if (search)
        search->StopSearchAndWait();
    if (main)
        main->StopAndJoinWorkers();
}

namespace {

// Every window, once, in this order: the settings window loads the settings
// into the main window while it is created and the computer list takes its
// folder from ProgramDir, so the main window comes first. Then: settings,
// About box, search, programs, network drive, computer list. Only the main
// window is shown.
void createWindows() {
    AppWindows& w = appWindows();
    TMainDlg* main = w.MainDlg = new TMainDlg;
    // Temporary files left by saves that were killed.
    removeStaleTemporaries(main->ConfigFile.Path());
    removeStaleTemporaries("range.txt");
    SetupHost host;
    host.ApplySettings = [main](const SettingsMirrors& settings) { main->ApplySettings(settings); };
    host.OpenHelpTopic = [main](int topic) { main->OpenHelpTopic(topic); };
    w.SetupForm = new TSetupForm(main->ConfigFile, std::move(host));
    w.About = new TAbout(*main);
    w.IndexForm = new TIndexForm(main->ConfigFile);
    w.IndexForm->EnableIndex();
    w.OpenWithForm = new TOpenWithForm(main->ConfigFile);
    w.IndexForm->SetOpenWithForm(w.OpenWithForm);
    w.ConnectDriveForm = new TConnectDriveForm;
    // The computer list window stays the last one created.
    w.AddrMgrForm = new TAddrMgrForm(main->ProgramDir);
    if (const int unreadable = w.AddrMgrForm->Computers().SkippedLines(); unreadable > 0)
        main->AddLogLine(
            QStringLiteral("range.lst: не прочитано строк: %1 (они остаются в файле без изменений)")
                .arg(unreadable));
    LoadSessionAccounts(main->ConfigFile, main);
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
    try {
        // An installed copy that has no cfg.ini yet opens the settings first,
        // so that a new user enters a range before pressing "Старт!".
        std::error_code ec;
        const bool firstStart = RunsInstalled() && !std::filesystem::exists(ConfigFilePath(), ec);
        createWindows();
        QObject::connect(&instance, &SingleInstance::RestoreRequested, appWindows().MainDlg,
                         &TMainDlg::RestoreFromTray);
        appWindows().MainDlg->show();
        if (appWindows().MainDlg->ConfigFile.IsTooLarge())
            ReportError(QStringLiteral("Файл настроек %1 больше 1 МБ. Он не прочитан и не будет изменён: "
                                       "программа работает с настройками по умолчанию.")
                            .arg(QString::fromStdString(appWindows().MainDlg->ConfigFile.Path())));
        if (firstStart)
            QTimer::singleShot(0, appWindows().MainDlg, &TMainDlg::N2Click);
        // The SMB helpers of the share workers start in the background now,
        // so that the first scan does not wait for them.
        const int workers = LoadAppSettings(appWindows().MainDlg->ConfigFile).maxShareWorkers;
        processSmbPool().prestart(static_cast<size_t>(std::max(workers, 0)));
        code = app.exec();
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
        code = 0;
    } catch (...) {
        ReportError(QString());
        code = 0;
    }
    StopAndJoinEverything(processSmbPool(), appWindows().MainDlg, appWindows().IndexForm,
                          appWindows().ConnectDriveForm);
    instance.Release();
    std::fflush(nullptr);
    return code;
}

} // namespace ormix

// The program entry.
#include "shell/app.h"

#include "platform/atomicfile.h"
#include "platform/programdir.h"
#include "gui/accountswindow.h"
#include "search/indexform.h"
#include "search/openwithform.h"
#include "settings/addrmgrform.h"
#include "settings/connectdriveform.h"
#include "settings/setupform.h"
#include "shares/smbpool.h"
#include "shell/about.h"
#include "shell/application.h"
#include "shell/appwindows.h"
#include "shell/ormixdlg.h"
#include "shell/singleinstance.h"

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

namespace {

// Ends at once: threads still blocked in network calls are abandoned rather
// than joined, and no thread object is destroyed while it runs.
[[noreturn]] void endProcess(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

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

void RunOrmix(int argc, char** argv) {
    OrmixApplication app(argc, argv); // arguments are ignored
    SingleInstance instance;
    if (!instance.TryBecomePrimary()) {
        // Another copy runs: bring it back and go, whether it answered or not.
        instance.SendRestoreRequest();
        endProcess(0);
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
        const int workers = appWindows().MainDlg->ConfigFile.ReadNumber("main", "MaxAddThrds", 6);
        processSmbPool().prestart(static_cast<size_t>(std::max(workers, 0)));
        code = app.exec();
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
        code = 0;
    } catch (...) {
        ReportError(QString());
        code = 0;
    }
    instance.Release();
    endProcess(code);
}

} // namespace ormix

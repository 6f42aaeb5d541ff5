// TMainDlg: the main window. It owns what every other window uses (the
// configuration file accessor, the program folder, the title text and the
// message log), hides into the notification area instead of closing, and ends
// the program on "Закрыть". The scan control (scancontrol.cpp) and the tree
// of found computers (maintree.cpp) live in the same window.
// Tests: tests/shell/mainwindow_test.cpp, tests/shell/placement_test.cpp,
// tests/shell/scancontrol_test.cpp, tests/shell/maintree_test.cpp,
// tests/shell/scan_testlan_test.cpp.
#pragma once

#include "scan/nbstat.h"
#include "scan/scanner.h"
#include "settings/configfile.h"
#include "settings/settingsmirrors.h"
#include "shares/addhostthr.h"
#include "shares/sharelist.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSystemTrayIcon;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ormix {

class CountdownTimer;

class TMainDlg : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainDlg(QWidget* parent = nullptr);
    ~TMainDlg() override;

    // Appends one line to the message log (IpMemo). Safe from any thread: a
    // call from another thread is queued to the main thread whole, so lines of
    // different threads may interleave but a line is never split.
    void AddLogLine(const QString& line);

    // Opens help topic `topic` (12, 15, 19, 20, 30) of the help page HelpFile in
    // the desktop's browser; a missing page gives a message box.
    void OpenHelpTopic(int topic);

    // Takes over what the settings loader read (settings/setupform.h): the
    // five mirrors and a whole new ExcludedShares list.
    void ApplySettings(const SettingsMirrors& settings);

    // Brings the program back from the notification area (or from minimised)
    // to the foreground: the tray icon's double click, "Восстановить" and the
    // restore request of a second copy.
    void RestoreFromTray();
    // Hides the program into the notification area; without a system tray the
    // window is minimised instead, so the program never becomes unreachable.
    void HideIntoTray();
    // True while hidden into the notification area.
    bool HiddenInTray() const { return hiddenInTray_; }

    // --- state that every window uses ---

    // The accessor of cfg.ini in the current folder at start-up.
    ormix::ConfigFile ConfigFile;
    // ":: ORMIX 2.8 ::": the window caption, the tray hint and the About box title.
    QString TitleText;
    // The folder of "range.lst", ending with '/' (platform/programdir.h).
    std::string ProgramDir;
    // Set only by the two "Закрыть" items; a close without it hides the program.
    bool QuitRequested = false;
    // The help page opened by OpenHelpTopic.
    QString HelpFile;

    // Mirrors of the settings of section "main", written by the settings loader
    // and read by the scan, the share workers and the tree from any thread.
    std::atomic<bool> ShowResCount{false};
    std::atomic<bool> EmptyRes{false};
    std::atomic<bool> AutoScan{false};
    std::atomic<int> AutoScanInterval{60}; // whole seconds
    std::atomic<bool> GroupByWrkGrp{false};
    // Share names never shown. The loader stores a whole new list; a reader on
    // any thread takes ExcludedShares.load() and so sees either the old or the
    // new list, never a mix. Never null.
    std::atomic<std::shared_ptr<const std::vector<std::string>>> ExcludedShares;

    // --- scan control (scancontrol.cpp) ---

    // Begins a scan: empties the tree, the search window's share list, the
    // counters and the log, disables the buttons and starts a scanner.
    void StartScan();
    // One answering host, from the scanner's thread or the main thread. The
    // host travels to the main thread as one record (so a name with a comma
    // stays whole); hosts queue in the order of the calls. An address already
    // found in this scan is ignored.
    void AddFoundHost(const HostTexts& host);
    // End notifications (main thread).
    void ShareWorkerDone();
    void ScannerDone();
    // The auto-scan countdown expired. During a scan the expiry waits for
    // ScanFinished, so two scans never run over each other.
    void AutoScanTimerTimer();
    // What LaunchScanner does by default: an NBTMain on a thread of its own,
    // kept by the window so that the next scan or the quit joins it.
    void StartOwnScanner(ScanOptions options, std::shared_ptr<ScanObserver> observer);
    // At quit, after the SMB helper pool's shutdown: stops the scanner and
    // waits for it and for every share worker still running.
    void StopAndJoinWorkers();
    // True from StartScan until ScanFinished.
    bool Scanning() const { return scanning_; }

    // Hosts waiting for a share worker, oldest first.
    std::deque<HostTexts> PendingHosts;
    int MaxWorkers = 6;    // key MaxAddThrds, read at every scan start
    int ActiveWorkers = 0; // share workers started and not yet ended
    int RunningScanners = 0;
    // Every share worker started since the scan start; null once it is gone.
    QList<QPointer<AddHostThr>> WorkerHandles;
    CountdownTimer* AutoScanTimer = nullptr;

    // Lists the shares of one computer for the share workers: the SMB helper
    // pool by default; tests and benchmarks put their own in its place.
    ShareLister Lister;
    // Starts the scanner with these options and this observer; by default an
    // NBTMain on a thread of its own.
    std::function<void(ScanOptions, std::shared_ptr<ScanObserver>)> LaunchScanner;
    // Shows a message box with this text; tests replace it to catch the text.
    std::function<void(const QString&)> ShowMessage;

    // --- the network tree (maintree.cpp) ---

    // Adds a computer and its shares to the tree (main thread). A computer
    // whose address the tree already shows replaces that row, its counts and
    // its search entries: one address is one row.
    void InsertHostNode(const HOSTINF& host);
    // The order of column "IP / Описание": hosts by address, anything else equal.
    int MainTreeCompareItems(const QTreeWidgetItem* a, const QTreeWidgetItem* b) const;
    // A click on a header section: sorts the whole tree by that column.
    void MainTreeColumnClick(int column);
    // Opens the focused computer or share in the file manager.
    void OpenFocusedNode();
    // End notification of an opener started in scan `generation`.
    void OpenerDone(int generation);

    int HostsTotal = 0;      // host nodes inserted since the scan start
    int HostsWithShares = 0; // of those, hosts with at least one share
    int PendingOpens = 0;    // open requests started and not yet ended

    QMenu* TreeMenu = nullptr;
    QAction* N32 = nullptr;          // "Открыть"
    QAction* N53 = nullptr;          // "Свернуть все"
    QAction* N43 = nullptr;          // "Развернуть все"
    QAction* N331 = nullptr;         // "Подключить сетевой диск"
    QAction* SignInAsItem = nullptr; // "Войти как…", on computers that refused anonymous access

    // --- components (object names as given) ---
    QTreeWidget* MainTree = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* TotHostTxt = nullptr;
    QLabel* OnHostCntTxt = nullptr;
    QProgressBar* ScanProgress = nullptr;
    QLabel* AddHstTxt = nullptr;
    QToolButton* ScanButt = nullptr;
    QToolButton* RxSpeedButton1 = nullptr;
    QToolButton* SearchButt = nullptr;
    QToolButton* LogButt = nullptr;
    QFrame* LogPanel = nullptr;
    QPlainTextEdit* IpMemo = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* N2 = nullptr; // "Настройки" (disabled until the settings window exists)
    QAction* N3 = nullptr; // "Список компьютеров" (disabled until the computer list window exists)
    QAction* N332 = nullptr; // "О программе"
    QAction* N5 = nullptr;   // "Закрыть"
    QMenu* SysMenu = nullptr;
    QAction* SN3 = nullptr; // "Восстановить"
    QAction* N4 = nullptr;  // "Закрыть"
    QSystemTrayIcon* TrayIcon = nullptr;

public slots:
    void ScanButtClick();
    void LogButtClick();
    void N2Click();         // "Настройки": the settings window, modal
    void N3Click();         // "Список компьютеров": the computer list window, modal
    void SearchButtClick(); // the search window, modal, while share counting is on
    void N332Click();       // "О программе"
    void N5Click();         // "Закрыть" in PopupMenu1
    void N4Click();         // "Закрыть" in SysMenu
    void SN3Click();        // "Восстановить"
    void N32Click();        // "Открыть"
    void N53Click();        // "Свернуть все"
    void N43Click();        // "Развернуть все"
    void N331Click();
    void SignInAsClick(); // "Подключить сетевой диск"

protected:
    void setVisible(bool visible) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Whether the desktop offers a notification area (tests pretend either way).
    virtual bool TrayAvailable() const;

    // The steps run when the window is first shown, after its placement is restored.
    void FormShow();

private:
    void FormCreate();
    void BuildLayout();
    void BuildMenus();
    void BuildTray();
    void PlaceLogButt();

    void CentreOnScreen();
    void RestorePlacement();
    void SavePlacement(bool destroying);
    int PixelsPerInch() const;

    // Saves the computer list as the program quits (filled in by the computer list).
    void SaveComputerListAtQuit();

    // scancontrol.cpp
    void SetupScanControl();
    void StartShareWorkers();
    void ScanFinished();
    void StartCountdown(int64_t periodMs);
    void ShowScanTotal(int64_t total);
    void ShowScanProgress(int64_t queriesSent);
    void ShowWorkersLeft();

    // maintree.cpp
    void SetupMainTree();
    void ClearTree();
    void RemoveHostNode(const QString& ip);
    void ShowPendingOpens();

    bool scanning_ = false;
    // Addresses reported since the scan start.
    std::set<std::string> foundThisScan_;
    // The host row of each address in MainTree.
    QHash<QString, QTreeWidgetItem*> hostRows_;
    bool countdownDeferred_ = false;
    int64_t scanTotal_ = 0;
    int scanGeneration_ = 0;
    // What the share workers go by: rebuilt from the mirrors at every settings load.
    ShareSettingsPtr shareSettings_;
    std::unique_ptr<QueuedHostReceiver> treeReceiver_;
    // The scanner started by the default LaunchScanner, kept to be joined.
    std::shared_ptr<NBTMain> scanner_;
    // Open requests still running, joined at quit.
    QList<QPointer<QThread>> openers_;
    int sortColumn_ = 0;
    bool sortDescending_ = false;

    bool shown_ = false;
    bool placementSaved_ = false;
    bool hiddenInTray_ = false;
};

} // namespace ormix

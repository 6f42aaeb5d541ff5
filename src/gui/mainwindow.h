// MainWindow: the main window. It works on the program's shared settings and
// computer list (AppState), keeps the title text and the message log, hides
// into the notification area instead of closing, and ends the program on
// "Закрыть". The scan control (scancontrol.cpp) and the tree of found
// computers (maintree.cpp) live in the same window; what it wants of the other
// windows it says through signals, which the program entry connects.
// Tests: tests/gui/mainwindow_test.cpp, tests/gui/placement_test.cpp,
// tests/gui/scancontrol_test.cpp, tests/gui/maintree_test.cpp,
// tests/gui/scan_testlan_test.cpp, tests/gui/appstate_test.cpp.
#pragma once

#include "scan/nbstat.h"
#include "scan/scanner.h"
#include "search/scannedshare.h"
#include "settings/configfile.h"
#include "shares/sharelist.h"
#include "shares/sharelistworker.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QThread>

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QIcon;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSystemTrayIcon;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ormix {

class AppState;
class CountdownTimer;
class ScanSession;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppState& state, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Appends one line to the message log (IpMemo). Safe from any thread: a
    // call from another thread is queued to the main thread whole, so lines of
    // different threads may interleave but a line is never split.
    void AddLogLine(const QString& line);

    // Opens help topic `topic` (12, 15, 19, 20, 30) of the help page HelpFile in
    // the desktop's browser; a missing page gives a message box.
    void OpenHelpTopic(int topic);

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

    // The settings and the computer list the window works on.
    AppState& State() { return state_; }
    // The accessor of cfg.ini (the shared one of State()).
    ormix::ConfigFile& ConfigFile;
    // ":: ORMIX 2.8 ::": the window caption, the tray hint and the About box title.
    QString TitleText;
    // Set only by the two "Закрыть" items; a close without it hides the program.
    bool QuitRequested = false;
    // The help page opened by OpenHelpTopic.
    QString HelpFile;

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
    // What the scan runs: the scanner, the hosts waiting and the share workers.
    ScanSession& Session() { return *session_; }
    // The auto-scan countdown expired. During a scan the expiry waits for
    // ScanFinished, so two scans never run over each other.
    void AutoScanTimerTimer();
    // At quit, after the SMB helper pool's shutdown: stops the scanner and
    // waits for it, for every share worker and every opener still running.
    void StopAndJoinWorkers();
    // True from StartScan until ScanFinished.
    bool Scanning() const { return scanning_; }

    CountdownTimer* AutoScanTimer = nullptr;

    // Shows a message box with this text; tests replace it to catch the text.
    std::function<void(const QString&)> ShowMessage;

    // --- the network tree (maintree.cpp) ---

    // Adds a computer and its shares to the tree (main thread). A computer
    // whose address the tree already shows replaces that row, its counts and
    // its search entries: one address is one row.
    void InsertHostNode(const HostInfo& host);
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

    // The tree's context menu.
    QMenu* treeMenu_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* collapseAllAction_ = nullptr;
    QAction* expandAllAction_ = nullptr;
    QAction* mapDriveAction_ = nullptr;
    QAction* signInAsAction_ = nullptr; // shown on computers that refused anonymous access

    // --- components (object names as given) ---
    QTreeWidget* MainTree = nullptr;
    QFrame* controlPanel_ = nullptr;
    QLabel* TotHostTxt = nullptr;
    QLabel* OnHostCntTxt = nullptr;
    QProgressBar* ScanProgress = nullptr;
    QLabel* AddHstTxt = nullptr;
    QToolButton* ScanButt = nullptr;
    QToolButton* menuButton_ = nullptr;
    QToolButton* SearchButt = nullptr;
    QToolButton* LogButt = nullptr;
    QFrame* LogPanel = nullptr;
    QPlainTextEdit* IpMemo = nullptr;

    // The menu behind menuButton_ and the tray icon's menu.
    QMenu* mainMenu_ = nullptr;
    QAction* settingsAction_ = nullptr;     // disabled until the settings window exists
    QAction* computerListAction_ = nullptr; // disabled until the computer list window exists
    QAction* aboutAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QAction* restoreAction_ = nullptr;
    QAction* trayQuitAction_ = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;

signals:
    // A scan starts: a running search is to stop and forget the last scan's shares.
    void ScanStarting();
    // The shares of one computer that became tree rows.
    void SharesListed(const std::vector<ormix::ScannedShare>& shares);
    // A scan ended, after "Scan complete!" and the save of the computer list.
    void ScanCompleted();
    // A computer was found in this scan, by the methods named in `labels`
    // ("NetBIOS, WS-Discovery").
    void ComputerFound(const std::string& ip, const std::string& labels);
    // Shares of a computer row that left the tree (replaced by a new row for
    // the same address): the search forgets them.
    void SharesForgotten(const std::vector<ormix::ScannedShare>& shares);
    // The computer list is to be saved (at the end of every scan and at quit).
    void ComputerListSaveWanted();
    // Commands that open the other windows (modal).
    void SettingsWindowWanted();
    void ComputerListWindowWanted();
    void SearchWindowWanted();
    void AboutBoxWanted();
    void DriveWindowWanted(const QString& sharePath);

public slots:
    // The settings window closed with this result (QDialog::Accepted or not).
    void SettingsWindowClosed(int result);
    void onScanClicked();
    void onLogClicked();
    void onSettingsClicked();     // the settings window, modal
    void onComputerListClicked(); // the computer list window, modal
    void onSearchClicked();       // the search window, modal, while share counting is on
    void onAboutClicked();
    void onQuitClicked();
    void onTrayQuitClicked();
    void onRestoreClicked();
    void onOpenClicked();
    void onCollapseAllClicked();
    void onExpandAllClicked();
    void onMapDriveClicked();
    void onSignInAsClicked();

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
    // Adds an item with this object name to `menu`; choosing it calls `slot`.
    QAction* addMenuItem(QMenu* menu, const char* name, const QIcon& icon, const QString& text,
                         void (MainWindow::*slot)());
    void PlaceLogButt();

    void CentreOnScreen();
    void RestorePlacement();
    void SavePlacement(bool destroying);
    int PixelsPerInch() const;

    // Saves the computer list as the program quits (filled in by the computer list).
    void SaveComputerListAtQuit();

    // scancontrol.cpp
    void SetupScanControl();
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
    // Rebuilds what the share workers go by from the shared settings.
    void SettingsChanged();

    AppState& state_;
    ScanSession* session_ = nullptr;
    // Open requests still running, joined at quit.
    QList<QPointer<QThread>> openers_;
    int sortColumn_ = 0;
    bool sortDescending_ = false;

    bool shown_ = false;
    bool placementSaved_ = false;
    bool hiddenInTray_ = false;
};

} // namespace ormix

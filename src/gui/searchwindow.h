// SearchWindow: the file search window. Turns the user's condition into an
// expression, runs a SearchRunner over every share of the last scan, lists the
// found files and acts on them (copy, open folder, copy path, user programs).
// Tests: tests/search/indexform_test.cpp.
#pragma once

#include "regex/regexpr.h"
#include "search/filecopy.h"
#include "search/searchrunner.h"
#include "search/sharewalk.h"
#include "settings/programpaths.h"

#include <QDialog>
#include <QStringList>
#include <QTreeWidgetItem>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeWidget;

namespace ormix {

class ConfigFile;
class IndexSearchRunner;
class IndexService;
class ProgramsWindow;

// One row of ResultList: computer name, full path, size text, and the size
// in bytes that the size column sorts by. The row shows names from servers
// in their visible one-line form (displayText); Path keeps the real path the
// row's commands act on.
class ResultItem : public QTreeWidgetItem {
public:
    ResultItem(const QString& host, const QString& path, const QString& sizeText, int64_t size);
    int64_t Size;
    QString Path;
    QString Host;
    bool operator<(const QTreeWidgetItem& other) const override;
};

class SearchWindow : public QDialog, public SearchOwner {
    Q_OBJECT
public:
    explicit SearchWindow(ConfigFile& cfg, QWidget* parent = nullptr);
    ~SearchWindow() override;

    // Filled by the network tree (one entry per share) and emptied by the
    // scan control at every scan start.
    std::vector<ScannedShare> SearchShares;
    // Set by StopBtn and by the scan control; read by the workers.
    std::atomic<bool> StopRequested{false};

    // Collaborators; the defaults talk to the SMB helpers. Programs start
    // through the process-wide launcher (platform/launcher.h).
    void SetOpenWithForm(ProgramsWindow* form) { openWith_ = form; }
    void SetShareWalker(ShareWalker* walker);
    void SetFileCopier(FileCopier* copier);
    // How a share is mounted for a program that wants local paths (GVfs by default).
    void SetShareMounter(ShareMounter* mounter);
    // A program's paths are being worked out (its share is being mounted).
    bool PreparingProgram() const { return pathsJob_.Busy(); }
    // Turns on the share index (cfg.ini "main" IndexShares, IndexWalks,
    // IndexDb): network searches record into it, "в индексе" searches it.
    // Call after SetShareWalker: the index records through that walker.
    void EnableIndex();
    IndexService* Index() const { return index_.get(); }
    // After a scan: refreshes the index of SearchShares in the background
    // when "Индексировать ресурсы" is ticked.
    void RefreshIndexAfterScan();
    // Dialogs go through these so tests can answer them; engine errors go to
    // the general error report.
    std::function<void(const QString&)> ShowMessage;
    std::function<QString(const QString& suggestedName)> AskSaveFileName;
    // Asks for the file of "Экспорт в CSV"; an empty text cancels.
    std::function<QString()> AskCsvPath;

    // SearchOwner (main thread).
    void AddFoundFile(const std::string& hostName, const std::string& folder, int64_t size,
                      const std::string& name) override;
    void AddExaminedCount(int64_t count) override;
    void AddSearchNote(SearchNote note, const std::string& hostName, const std::string& path) override;

    bool PreparePattern(const QString& text);
    void StartSearch();
    void onStopClicked();
    void onSearchModeClicked();
    void onTestRegexClicked();
    void onExtendedSearchClicked();
    void onClearSizeLimitClicked();
    void onStatusTimer(); // twice a second while shown: the count of running workers
    void ResultListColumnClick(int column);
    int ResultListCompare(const ResultItem& a, const ResultItem& b) const;
    void onCopyFileClicked();
    void onOpenFolderClicked();
    void onCopyPathClicked();
    // The found files, in the order shown, as a CSV file for a spreadsheet
    // (UTF-8 with BOM; sizes in bytes).
    void onCsvExportClicked();
    void BuildResultMenu();
    void onResultMenuClicked(int tag);
    bool Searching() const;
    // Stops a running search and waits for its workers (at quit, after the
    // SMB helper pool's shutdown).
    void StopSearchAndWait();

    TRegExpr SearchExpr;
    bool RegexMode = false;
    int64_t MinSizeBytes = 0, MaxSizeBytes = 0;
    int64_t ExaminedFiles = 0;
    int FoundFiles = 0;
    int SortColumn = 0;

    QLabel* SearchDescrText;
    QLineEdit* SrchStr;
    QPushButton* SrchHlpBtn;
    QToolButton* ExtSearchBtn;
    QPushButton* StartBtn;
    QPushButton* StopBtn;
    QPushButton* closeButton_;
    QProgressBar* busyIndicator_;
    QToolButton* copyFileButton_;
    QToolButton* openFolderButton_;
    QToolButton* copyPathButton_;
    QWidget* ExtSrchPanel;
    QRadioButton* TextRB;
    QRadioButton* RegexpRB;
    QPushButton* regexHelpButton_;
    QLineEdit* RegExprTestEdit;
    QPushButton* testRegexButton_;
    QWidget* SzLimitPanel;
    QSpinBox* SpinFrom;
    QSpinBox* SpinTo;
    QPushButton* SLimClr;
    QTabWidget* resultTabs_;
    QTreeWidget* ResultList;
    QPushButton* CsvExportBtn; // "Экспорт в CSV"
    QPlainTextEdit* historyLog_;
    QLabel* labelThrCnt;
    QLabel* labelFileCnt;
    QLabel* labelFoundedFileCnt;
    QRadioButton* IndexRB;   // "в индексе"
    QRadioButton* NetworkRB; // "по сети"
    QLabel* labelIndexAge;
    QLabel* labelAction; // the status line of the result actions (mounting, fallbacks)
    QTimer* statusTimer_;
    QMenu* resultMenu_;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void buildControls();
    void searchFinished();
    ResultItem* selectedRow() const;
    void runProgram(const QString& path, const std::string& programName);
    void startProgram(const QString& name, const QString& templateText, const QString& path, bool wantLocal,
                      const ProgramPaths& paths);
    void setActionStatus(const QString& text);

    ConfigFile& cfg_;
    ProgramsWindow* openWith_ = nullptr;
    std::unique_ptr<ShareWalker> ownWalker_;
    std::unique_ptr<FileCopier> ownCopier_;
    ShareWalker* walker_ = nullptr;
    FileCopier* copier_ = nullptr;
    GvfsShareMounter ownMounter_;
    ProgramPathsJob pathsJob_{ownMounter_};
    std::unique_ptr<SearchRunner> runner_;
    std::unique_ptr<IndexService> index_;
    std::unique_ptr<IndexSearchRunner> indexRunner_;
    bool sourceChosen_ = false; // the user picked index or network himself
    bool applyingDefault_ = false;
};

} // namespace ormix

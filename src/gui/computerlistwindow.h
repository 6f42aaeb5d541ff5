// ComputerListWindow, the computer list window: shows every computer that ever
// answered a scan (the program's one list, kept by AppState), deletes
// computers from it, saves and exports "range.lst".
// Tests: tests/gui/computerlistwindow_test.cpp.
#pragma once

#include "settings/computerlist.h"

#include <QDialog>

#include <functional>
#include <map>
#include <string>

class QFileDialog;
class QLabel;
class QToolButton;
class QTreeWidget;

namespace ormix {

class ComputerListWindow : public QDialog {
    Q_OBJECT
public:
    // Shows and edits `computers`, which must outlive the window.
    explicit ComputerListWindow(ComputerList& computers, QWidget* parent = nullptr);

    ComputerList& Computers() { return computers_; }

    // Writes "range.lst" and closes the window when that succeeds; a failure
    // is reported in a message box and the window stays as it is. Run at the
    // end of every scan and at quit.
    void SaveComputerList();

    // How a computer was found in this run of the program (the labels of the
    // methods, "NetBIOS, WS-Discovery"); the row's tooltip says it. Kept in
    // memory only: "range.lst" keeps its format. Main thread.
    void NoteFoundBy(const std::string& ip, const std::string& labels);

    // Shows the list in AddrList, in list order.
    void FillTable();
    // Copies the file at the list's path, as last saved, to `target`.
    bool ExportTo(const QString& target);

    // Shows a message box with this text; tests replace it to catch the text.
    std::function<void(const QString&)> ShowMessage;
    // Asks for the export file name (SaveList); an empty text cancels.
    std::function<QString()> AskExportPath;
    // Asks for the file of "Экспорт в CSV"; an empty text cancels.
    std::function<QString()> AskCsvPath;

    QTreeWidget* AddrList;
    QToolButton* deleteButton_;
    QToolButton* exportButton_; // a copy of "range.lst" as last saved
    QLabel* countLabel_;
    QLabel* CntText;
    QToolButton* closeButton_;
    QToolButton* CsvExportButt; // "Экспорт в CSV"
    QFileDialog* SaveList;

public slots:
    void onDeleteClicked();
    void onExportClicked();
    void onCloseClicked();
    // The list in memory as a CSV file for a spreadsheet (UTF-8 with BOM).
    void onCsvExportClicked();
    void AddrListColumnClick(int column);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    QString askExportPath();

    ComputerList& computers_;
    std::map<QString, QString> foundBy_; // lower-case address -> method labels
};

} // namespace ormix

// AboutBox: the About box, a fixed dialog with the title, the version and
// links to the help page and the README that come with the program.
// Tests: tests/shell/mainwindow_test.cpp.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace ormix {

class MainWindow;

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(const MainWindow& mainDlg, QWidget* parent = nullptr);

    // The README beside the help page (dataFilesDir(); an installed copy:
    // share/ormix/README.md).
    static QString ReadmePath();

    QLabel* Picture = nullptr;
    QLabel* TitleLabel = nullptr; // framed; shows TitleText, set each time the box is shown
    QLabel* subtitleLine_ = nullptr;
    QLabel* VersionLine = nullptr;
    QLabel* HelpLabel = nullptr;
    QLabel* HelpLink = nullptr; // the main window's help page
    QLabel* ReadmeLabel = nullptr;
    QLabel* ReadmeLink = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const MainWindow& mainDlg_;
};

} // namespace ormix

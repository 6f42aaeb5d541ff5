// TConnectDriveForm, the network drive window: attaches a share found by a scan
// under a free drive letter (settings/netdrive.h says what that means here).
// Tests: tests/settings/connectdriveform_test.cpp.
#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace ormix {

class TConnectDriveForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPathHelpTopic = 12;

    explicit TConnectDriveForm(QWidget* parent = nullptr);

    // The entry point of the tree's "Подключить сетевой диск" on a share node:
    // puts the share's path ("\\IP\share") into PathName and shows the window
    // modally. Returns QDialog::Accepted when a drive was attached, otherwise
    // QDialog::Rejected (the user closed the window, after a failure or not).
    int ShowForPath(const QString& uncPath);

    // The attach operation, called with the lower-case local name ("e:") and
    // the trimmed path; returns 0 on success. MapNetworkDrive by default.
    std::function<int(const QString& localName, const QString& uncPath)> MapDrive;
    // Shows a message box with this text; tests replace it to catch the text.
    std::function<void(const QString&)> ShowMessage;
    // Opens a help topic (F1 in PathName); shell/help.h by default.
    std::function<void(int topic)> OpenHelp;

    QLabel* OnHostCntTxt;
    QComboBox* DrivesCombo;
    QLabel* StaticText1;
    QLineEdit* PathName;
    QToolButton* ScanButt;

    // Rebuilds the list of free letters; none is selected afterwards.
    void FormShow();
    void ScanButtClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace ormix

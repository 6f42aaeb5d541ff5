// DriveWindow, the network drive window: attaches a share found by a scan
// under a free drive letter (settings/netdrive.h says what that means here).
// The attachment waits on the server for up to a minute and a half, so it runs
// on a thread the window owns: the program stays alive meanwhile, the window
// shows that it is connecting and offers "Отмена".
// Tests: tests/gui/drivewindow_test.cpp.
#pragma once

#include <QDialog>

#include <atomic>
#include <functional>
#include <thread>

class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace ormix {

class DriveWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPathHelpTopic = 12;

    explicit DriveWindow(QWidget* parent = nullptr);
    ~DriveWindow() override;

    // The entry point of the tree's "Подключить сетевой диск" on a share node:
    // puts the share's path ("\\IP\share") into PathName and shows the window
    // modally. Returns QDialog::Accepted when a drive was attached, otherwise
    // QDialog::Rejected (the user closed the window, after a failure or not).
    int ShowForPath(const QString& uncPath);

    // The attach operation, called on the window's connecting thread with the
    // lower-case local name ("e:"), the trimmed path and a flag that
    // "Отмена" sets (the operation should then end soon, attaching nothing);
    // returns 0 on success. MapNetworkDrive by default.
    std::function<int(const QString& localName, const QString& uncPath, const std::atomic<bool>& cancel)>
        MapDrive;
    // Shows a message box with this text; tests replace it to catch the text.
    std::function<void(const QString&)> ShowMessage;
    // Opens a help topic (F1 in PathName); shell/help.h by default.
    std::function<void(int topic)> OpenHelp;

    QLabel* OnHostCntTxt;
    QComboBox* DrivesCombo;
    QLabel* pathLabel_;
    QLineEdit* PathName;
    QToolButton* connectButton_;
    QLabel* StatusTxt;          // what the window is doing; empty while idle
    QToolButton* cancelButton_; // shown while connecting

    // Rebuilds the list of free letters; none is selected afterwards.
    void FormShow();
    // Checks the letter and starts the attachment on the connecting thread.
    void onConnectClicked();
    // "Отмена": asks the attachment to give up; the window stays open.
    void onCancelClicked();
    // True from a start of the attachment until its result is shown.
    bool Connecting() const { return connecting_; }
    // Gives up an attachment in progress and joins its thread (the gio call
    // is killed, nothing is attached); the window leaves its connecting
    // state. Nothing happens when none runs. Closing the window and the
    // program's quit come here.
    void CancelAndWait();

    // Shown while connecting and after a cancel.
    static QString ConnectingText();
    static QString CancelledText();

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ConnectDone(unsigned attempt, int status, const QString& drive);
    void SetConnecting(bool on);

    bool connecting_ = false;
    unsigned attempt_ = 0; // results of an attempt given up are not shown
    std::atomic<bool> cancel_{false};
    std::thread worker_;
};

} // namespace ormix

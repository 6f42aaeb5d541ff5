// Helpers shared by the shell's widget tests.
#pragma once

#include "gui/appstate.h"
#include "gui/mainwindow.h"
#include "platform/programdir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace ormix::test {

// The program's shared state on cfg.ini and range.lst of the current folder.
inline std::unique_ptr<AppState> makeTestState() {
    return std::make_unique<AppState>(configFilePath(), QDir::currentPath().toStdString() + "/");
}

// Holds the state of a TestMainDlg, made before the window.
struct OwnState {
    std::unique_ptr<AppState> ownState = makeTestState();
};

// A main window on a state of its own, whose notification area is there or
// not, as the test says.
class TestMainDlg : private OwnState, public MainWindow {
public:
    TestMainDlg() : MainWindow(*ownState) {}
    bool trayPresent = true;

    // Puts settings in force as a load of cfg.ini would.
    template <typename Edit> void editSettings(Edit edit) {
        AppSettings s = State().settings();
        edit(s);
        State().setSettings(s);
    }

protected:
    bool TrayAvailable() const override { return trayPresent; }
};

// Runs the event loop until `done` holds or `ms` pass; returns whether it holds.
inline bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Each test runs in its own empty current folder, where cfg.ini goes.
class InTempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(folder_.path()));
    }
    void TearDown() override { QDir::setCurrent(previous_); }
    QString path(const QString& name) const { return folder_.filePath(name); }

private:
    QTemporaryDir folder_;
    QString previous_;
};

} // namespace ormix::test

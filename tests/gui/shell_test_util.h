// Helpers shared by the shell's widget tests.
#pragma once

#include "gui/mainwindow.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace ormix::test {

// A main window whose notification area is there or not, as the test says.
class TestMainDlg : public TMainDlg {
public:
    bool trayPresent = true;

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

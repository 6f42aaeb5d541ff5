// One running copy per user: a second start hands over to the first copy and
// ends with 0; the first copy comes back from the notification area. Run with
// real processes of the program in a private runtime folder, so a copy that
// a user may be running is never met.
#include "shell_test_util.h"

#include "gui/singleinstance.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <sys/prctl.h>

#include <csignal>
#include <memory>
#include <vector>

namespace ormix::test {
namespace {

class SingleInstanceTest : public InTempFolder {
protected:
    void SetUp() override {
        InTempFolder::SetUp();
        ASSERT_TRUE(runtime_.isValid()); // created 0700, as a runtime folder must be
        saved_ = {qgetenv("XDG_RUNTIME_DIR"), qgetenv("TMPDIR")};
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        qputenv("TMPDIR", runtime_.path().toLocal8Bit());
    }
    void TearDown() override {
        for (auto& p : processes_) {
            p->kill();
            p->waitForFinished(5000);
        }
        qputenv("XDG_RUNTIME_DIR", saved_[0]);
        qputenv("TMPDIR", saved_[1]);
        InTempFolder::TearDown();
    }

    QString runtimeFolder() const { return runtime_.path(); }

    // Starts the program; null when the binary is not at hand.
    QProcess* startOrmix() {
        const QString bin = qEnvironmentVariable("ORMIX_BIN_DIR") + QStringLiteral("/ormix");
        if (!QFileInfo(bin).isExecutable())
            return nullptr;
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(QDir::currentPath());
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        // A copy must not outlive a test that is killed.
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process->start(bin, {});
        if (!process->waitForStarted(10000))
            return nullptr;
        processes_.push_back(std::move(process));
        return processes_.back().get();
    }

    static bool ended(QProcess* p, int ms = 10000) {
        return waitFor([p] { return p->state() == QProcess::NotRunning; }, ms);
    }

    bool listening(int ms = 10000) {
        SingleInstance client(runtimeFolder());
        return waitFor([&] { return client.SendRestoreRequest(100); }, ms);
    }

private:
    QTemporaryDir runtime_;
    std::vector<QByteArray> saved_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(SingleInstanceTest, SecondStartRestoresTheFirstCopyAndEndsWithZero) {
    // This test process is the first copy, hidden into the notification area.
    SingleInstance first; // the user's runtime folder, here the private one
    ASSERT_TRUE(first.TryBecomePrimary());
    EXPECT_TRUE(first.SocketPath().startsWith(runtimeFolder()));
    TestMainDlg dlg;
    QObject::connect(&first, &SingleInstance::RestoreRequested, &dlg, &MainWindow::RestoreFromTray);
    dlg.show();
    dlg.HideIntoTray();
    ASSERT_FALSE(dlg.isVisible());

    QProcess* second = startOrmix();
    if (!second)
        GTEST_SKIP() << "the ormix program is not built (ORMIX_BIN_DIR)";
    ASSERT_TRUE(ended(second));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return dlg.isVisible(); }));
    EXPECT_FALSE(dlg.HiddenInTray());
    EXPECT_FALSE(QFileInfo::exists(path("cfg.ini"))); // the second copy made no window
}

TEST_F(SingleInstanceTest, TwoProgramsThenACrashedFirstCopy) {
    QProcess* first = startOrmix();
    if (!first)
        GTEST_SKIP() << "the ormix program is not built (ORMIX_BIN_DIR)";
    ASSERT_TRUE(listening());

    QProcess* second = startOrmix();
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(ended(second));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);

    // A copy that died leaves its lock and socket files behind; the next start
    // must still become the running copy.
    first->kill();
    ASSERT_TRUE(ended(first));
    QProcess* third = startOrmix();
    ASSERT_NE(third, nullptr);
    EXPECT_FALSE(ended(third, 1500));
    EXPECT_TRUE(listening());
}

TEST_F(SingleInstanceTest, LockAndRequestsWithinOneProcess) {
    SingleInstance a(runtimeFolder()), b(runtimeFolder());
    ASSERT_TRUE(a.TryBecomePrimary());
    EXPECT_FALSE(b.TryBecomePrimary());

    QSignalSpy restored(&a, &SingleInstance::RestoreRequested);
    EXPECT_TRUE(b.SendRestoreRequest(2000));
    EXPECT_TRUE(waitFor([&] { return restored.count() == 1; }));

    // Anything but a restore request is ignored.
    QLocalSocket stranger;
    stranger.connectToServer(a.SocketPath());
    ASSERT_TRUE(stranger.waitForConnected(2000));
    stranger.write("hello\n");
    stranger.waitForBytesWritten(2000);
    waitFor([] { return false; }, 200);
    EXPECT_EQ(restored.count(), 1);

    a.Release();
    EXPECT_TRUE(b.TryBecomePrimary());
    b.Release();
    EXPECT_FALSE(SingleInstance(runtimeFolder()).SendRestoreRequest(300)); // nobody runs
}

} // namespace
} // namespace ormix::test

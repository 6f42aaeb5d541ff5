// Program templates split without a shell, the QProcess launcher's results and
// the process-wide substitution used by other tests.
#include "platform/launcher.h"
#include "platform/recording_launcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

using namespace ormix;

namespace {

TEST(ProgramTemplate, SplitsThenSubstitutes) {
    const QString file = QStringLiteral("/run/gvfs/smb-share:server=h,share=s/a; rm -rf ~");
    const QString dir = QStringLiteral("/run/gvfs/smb-share:server=h,share=s");
    const QString url = QStringLiteral("smb://127.0.0.2/s/a%3B%20rm%20-rf%20~");
    const QString unc = QStringLiteral("\\\\127.0.0.2\\s\\a; rm -rf ~");
    const struct {
        const char* templ;
        QString prg;
        QStringList words; // program first
    } cases[] = {
        {"gedit %%prg%%", file, {"gedit", file}},
        {"viewer \"%%prg%%\" $(id) `id` | cat", "a b", {"viewer", "a b", "$(id)", "`id`", "|", "cat"}},
        {R"("/opt/My Editor/ed" --open=%%prg%% --in %%dir%%)",
         file,
         {"/opt/My Editor/ed", "--open=" + file, "--in", dir}},
        {"tool %%url%% %%unc%% --dir=%%dir%%", file, {"tool", url, unc, "--dir=" + dir}},
        {"tool %%prg%%%%dir%% %%PRG%% %%Url%% %%prg%",
         "F",
         {"tool", "F" + dir, "%%PRG%%", "%%Url%%", "%%prg%"}},
        // Inserted text is never scanned again.
        {"tool %%prg%%", "has %%dir%% and %%url%% inside", {"tool", "has %%dir%% and %%url%% inside"}},
        {"say \"\"\"quoted\"\"\"", file, {"say", "\"quoted\""}},
        {"  %%prg%%  ", file, {file}},
        {"", file, {}},
        {"   ", file, {}},
    };
    for (const auto& c : cases) {
        const ProgramCommand cmd = expandProgramTemplate(QString::fromUtf8(c.templ), {c.prg, dir, url, unc});
        QStringList got = cmd.arguments;
        if (!cmd.program.isEmpty())
            got.prepend(cmd.program);
        EXPECT_EQ(got, c.words) << c.templ;
        EXPECT_EQ(cmd.program.isEmpty(), c.words.isEmpty()) << c.templ;
    }
}

// Only "%%prg%%" and "%%dir%%" ask for a mount; the words count, as they
// are substituted after the split.
TEST(ProgramTemplate, WantsLocalPath) {
    const struct {
        const char* templ;
        bool wants;
    } cases[] = {
        {"md5sum %%prg%%", true},
        {"ls \"%%dir%%\"", true},
        {"x --f=%%p\"r\"g%%", true},
        {"xdg-open %%url%%", false},
        {"echo %%unc%% %%PRG%%", false},
        {"plain", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(templateWantsLocalPath(c.templ), c.wants) << c.templ;
}

TEST(ProcessLauncher, RunReportsExitOutputAndFailures) {
    ProcessLauncher l;
    RunResult r = l.run("printf", {"[%s]", "a; rm -rf ~"}, 10000);
    EXPECT_EQ(r.status, RunResult::Status::Exited);
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.standardOutput, "[a; rm -rf ~]") << "the argument reaches the program untouched";

    r = l.run("ls", {"/nonexistent-ormix-dir"}, 10000);
    EXPECT_EQ(r.status, RunResult::Status::Exited);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(r.standardError.isEmpty());
    EXPECT_TRUE(r.standardOutput.isEmpty());

    r = l.run("cat", {}, 10000);
    EXPECT_TRUE(r.succeeded()) << "standard input is empty, so cat ends at once";

    for (const QString& missing : {QStringLiteral("/nonexistent/ormix-prog"), QString()}) {
        r = l.run(missing, {}, 10000);
        EXPECT_EQ(r.status, RunResult::Status::FailedToStart) << missing.toStdString();
    }

    r = l.run("sh", {"-c", "kill -KILL $$"}, 10000);
    EXPECT_EQ(r.status, RunResult::Status::Crashed);

    const auto start = std::chrono::steady_clock::now();
    r = l.run("sleep", {"30"}, 200);
    EXPECT_EQ(r.status, RunResult::Status::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    // A caller that gives up from another thread ends the program at once.
    std::atomic<bool> cancel{false};
    std::thread giveUp([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel = true;
    });
    const auto cancelledAt = std::chrono::steady_clock::now();
    r = l.runCancellable("sleep", {"30"}, {}, 30000, cancel);
    giveUp.join();
    EXPECT_EQ(r.status, RunResult::Status::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, std::chrono::seconds(10));
}

TEST(ProcessLauncher, WorksOnAnyThreadAndDetaches) {
    const std::string marker =
        (std::filesystem::temp_directory_path() / ("ormix-launch-" + std::to_string(::getpid()))).string();
    std::filesystem::remove(marker);
    bool started = false;
    RunResult fromThread;
    std::thread worker([&] {
        ProcessLauncher l;
        started = l.startDetached("touch", {QString::fromStdString(marker)});
        fromThread = l.run("true", {}, 10000);
    });
    worker.join();
    EXPECT_TRUE(started);
    EXPECT_TRUE(fromThread.succeeded());
    for (int i = 0; i < 100 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(std::filesystem::exists(marker));
    std::filesystem::remove(marker);

    EXPECT_FALSE(ProcessLauncher().startDetached("/nonexistent/ormix-prog", {}));
    EXPECT_FALSE(ProcessLauncher().startDetached(QString(), {}));
}

// A watched start reports a missing program and a failing exit code, and
// leaves a program that keeps running alone.
TEST(ProcessLauncher, WatchedStartReportsHowItWent) {
    int argc = 1;
    char name[] = "launcher_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QObject context;
    ProcessLauncher l;
    const struct {
        QString program;
        QStringList arguments;
        RunResult::Status status;
        int exitCode;
    } cases[] = {
        {"/nonexistent/ormix-opener", {}, RunResult::Status::FailedToStart, -1},
        {"sh", {"-c", "exit 3"}, RunResult::Status::Exited, 3},
        {"true", {}, RunResult::Status::Exited, 0},
        {"sleep", {"5"}, RunResult::Status::Exited, 0}, // still running at the watch's end
    };
    for (const auto& c : cases) {
        std::optional<RunResult> got;
        l.startWatched(c.program, c.arguments, 300, &context, [&](const RunResult& r) { got = r; });
        for (int i = 0; i < 200 && !got; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(got) << c.program.toStdString();
        EXPECT_EQ(got->status, c.status) << c.program.toStdString();
        EXPECT_EQ(got->exitCode, c.exitCode) << c.program.toStdString();
    }
}

TEST(ProgramLauncherInstance, ScopedReplacement) {
    ProgramLauncher* real = &launcher();
    {
        ormix::testing::RecordingLauncher fake;
        fake.detachedResult = false;
        ScopedLauncher scope(fake);
        const ProgramCommand cmd =
            expandProgramTemplate("xdg-open %%url%%", {{}, {}, "smb://127.0.0.2/s/f", {}});
        EXPECT_FALSE(launcher().startDetached(cmd.program, cmd.arguments));
        EXPECT_TRUE(launcher().run("gio", {"mount", "smb://127.0.0.2/s"}, 5000).succeeded());
        const auto calls = fake.calls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_TRUE(calls[0].detached);
        EXPECT_EQ(calls[0].program, "xdg-open");
        EXPECT_EQ(calls[0].arguments, QStringList{"smb://127.0.0.2/s/f"});
        EXPECT_FALSE(calls[1].detached);
        EXPECT_EQ(calls[1].timeoutMs, 5000);
    }
    EXPECT_EQ(&launcher(), real);
}

} // namespace

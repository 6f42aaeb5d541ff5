// Program templates split without a shell, the QProcess launcher's results and
// the process-wide substitution used by other tests.
#include "platform/launcher.h"
#include "platform/recording_launcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace ormix;

namespace {

TEST(ProgramTemplate, SplitsThenSubstitutes) {
    const QString file = QStringLiteral("smb://127.0.0.2/s/a%3B%20rm%20-rf%20~");
    const QString dir = QStringLiteral("smb://127.0.0.2/s");
    const struct {
        const char* templ;
        QString fileUrl;
        QStringList words; // program first
    } cases[] = {
        {"gedit %%prg%%", file, {"gedit", file}},
        {"gedit %%prg%%", "a; rm -rf ~", {"gedit", "a; rm -rf ~"}},
        {"viewer \"%%prg%%\" $(id) `id` | cat", "a b", {"viewer", "a b", "$(id)", "`id`", "|", "cat"}},
        {R"("/opt/My Editor/ed" --open=%%prg%% --in %%dir%%)",
         file,
         {"/opt/My Editor/ed", "--open=" + file, "--in", dir}},
        {"tool %%prg%%%%dir%% %%PRG%% %%prg%", "F", {"tool", "F" + dir, "%%PRG%%", "%%prg%"}},
        {"tool %%prg%%", "has %%dir%% inside", {"tool", "has %%dir%% inside"}},
        {"say \"\"\"quoted\"\"\"", file, {"say", "\"quoted\""}},
        {"  %%prg%%  ", file, {file}},
        {"", file, {}},
        {"   ", file, {}},
    };
    for (const auto& c : cases) {
        const ProgramCommand cmd = expandProgramTemplate(QString::fromUtf8(c.templ), c.fileUrl, dir);
        QStringList got = cmd.arguments;
        if (!cmd.program.isEmpty())
            got.prepend(cmd.program);
        EXPECT_EQ(got, c.words) << c.templ;
        EXPECT_EQ(cmd.program.isEmpty(), c.words.isEmpty()) << c.templ;
    }
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

TEST(ProgramLauncherInstance, ScopedReplacement) {
    ProgramLauncher* real = &launcher();
    {
        ormix::testing::RecordingLauncher fake;
        fake.detachedResult = false;
        ScopedLauncher scope(fake);
        const ProgramCommand cmd = expandProgramTemplate("xdg-open %%prg%%", "smb://127.0.0.2/s/f", "");
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

// Paths for the placeholders of a user's program: mapping under a share's
// mount folder, and the choice between a local path and the smb:// URL, with
// a mounter that stands in for GVfs over a temporary folder.
#include "settings/programpaths.h"

#include "fixtures/stalled_gio.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>

namespace fs = std::filesystem;
using namespace ormix;

namespace {

TEST(ProgramPaths, ShareAndLocalPathUnderTheMount) {
    EXPECT_EQ(ShareOf(R"(\\127.0.0.1\Docs\a\b.txt)"), R"(\\127.0.0.1\Docs)");
    EXPECT_EQ(ShareOf(R"(\\127.0.0.1\Docs)"), R"(\\127.0.0.1\Docs)");
    for (const char* bad : {R"(\\127.0.0.1)", R"(\\127.0.0.1\)", R"(\\\Docs)", "Docs\\a", ""})
        EXPECT_EQ(ShareOf(bad), "") << bad;

    const struct {
        const char* unc;
        std::optional<std::string> local;
    } cases[] = {
        {R"(\\h\s\a b\Отчёт.txt)", "/m/s/a b/Отчёт.txt"},
        {R"(\\h\s\f)", "/m/s/f"},
        {R"(\\h\s)", "/m/s"},
        {R"(\\h\s\a:b\c%20d)", "/m/s/a:b/c%20d"}, // no decoding: the UNC holds the real names
        // Names from a server that would lead somewhere else as a local path.
        {R"(\\h\s\..\..\etc\passwd)", std::nullopt},
        {R"(\\h\s\.\f)", std::nullopt},
        {R"(\\h\s\a/..\f)", std::nullopt},
        {R"(\\h\s\a\\f)", std::nullopt},
        {R"(\\h\s\f\)", std::nullopt},
        {R"(\\h)", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LocalPathUnder("/m/s", c.unc), c.local) << c.unc;
    EXPECT_EQ(LocalPathUnder("/m/s", std::string("\\\\h\\s\\a\0b", 9)), std::nullopt);
    EXPECT_EQ(LocalPathUnder("/m/s/", R"(\\h\s\f)"), "/m/s/f");
    EXPECT_EQ(LocalPathUnder("", R"(\\h\s\f)"), std::nullopt);
}

// A share "mounted" in a temporary folder, or refused with a reason.
class FolderMounter : public ShareMounter {
public:
    ShareMountResult Mount(const std::string& shareUnc, const std::atomic<bool>&) override {
        mounted.push_back(shareUnc);
        if (!folder.empty())
            return {folder, {}};
        return {{}, "refused"};
    }
    std::string folder;
    std::vector<std::string> mounted;
};

class ProgramPathsDecision : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("ormix-paths-" + std::to_string(::getpid()));
        fs::create_directories(root / "Папка 1");
        std::ofstream(root / "Папка 1" / "отчёт; rm.txt") << "x";
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
    FolderMounter mounter;
};

TEST_F(ProgramPathsDecision, LocalWhenMountedAndThere) {
    mounter.folder = root.string();
    const std::string unc = "\\\\127.0.0.1\\Docs\\Папка 1\\отчёт; rm.txt";
    const ProgramPaths p = ResolveProgramPaths(unc, true, mounter);
    EXPECT_TRUE(p.local);
    EXPECT_EQ(p.fallbackReason, "");
    EXPECT_EQ(p.texts.prg.toStdString(), (root / "Папка 1" / "отчёт; rm.txt").string());
    EXPECT_EQ(p.texts.dir.toStdString(), (root / "Папка 1").string());
    EXPECT_EQ(p.texts.url, "smb://127.0.0.1/Docs/%D0%9F%D0%B0%D0%BF%D0%BA%D0%B0%201/"
                           "%D0%BE%D1%82%D1%87%D1%91%D1%82%3B%20rm.txt");
    EXPECT_EQ(p.texts.unc.toStdString(), unc);
    EXPECT_EQ(mounter.mounted, std::vector<std::string>{"\\\\127.0.0.1\\Docs"});
}

// Every way to the fallback: the URLs stand in and the reason says why.
TEST_F(ProgramPathsDecision, UrlsAndAReasonOtherwise) {
    const struct {
        const char* unc;
        bool mountable;
        bool mountAsked;
        const char* reason; // part of the reason
    } cases[] = {
        {"\\\\127.0.0.1\\Docs\\Папка 1\\отчёт; rm.txt", false, true, "refused"},
        {"\\\\127.0.0.1\\Docs\\Папка 1\\gone.txt", true, true, "не найден в подключённом ресурсе"},
        {"\\\\127.0.0.1\\Docs\\..\\..\\etc\\passwd", true, false, "нельзя записать как локальный путь"},
        {"\\\\127.0.0.1\\Docs", true, false, "не указывает на файл"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unc);
        mounter.folder = c.mountable ? root.string() : std::string();
        mounter.mounted.clear();
        const ProgramPaths p = ResolveProgramPaths(c.unc, true, mounter);
        EXPECT_FALSE(p.local);
        EXPECT_NE(p.fallbackReason.find(c.reason), std::string::npos) << p.fallbackReason;
        EXPECT_TRUE(p.texts.prg.startsWith("smb://127.0.0.1/Docs")) << p.texts.prg.toStdString();
        EXPECT_EQ(p.texts.prg, p.texts.url);
        EXPECT_EQ(mounter.mounted.size(), c.mountAsked ? 1u : 0u);
    }
    // A template without "%%prg%%" and "%%dir%%" mounts nothing and gives no reason.
    mounter.mounted.clear();
    const ProgramPaths p = ResolveProgramPaths("\\\\127.0.0.1\\Docs\\a\\b.txt", false, mounter);
    EXPECT_TRUE(mounter.mounted.empty());
    EXPECT_EQ(p.fallbackReason, "");
    EXPECT_EQ(p.texts.prg, "smb://127.0.0.1/Docs/a/b.txt");
    EXPECT_EQ(p.texts.dir, "smb://127.0.0.1/Docs/a");
    EXPECT_EQ(p.texts.unc, "\\\\127.0.0.1\\Docs\\a\\b.txt");
}

// A mounter that waits until it is let go.
class GatedMounter : public ShareMounter {
public:
    ShareMountResult Mount(const std::string&, const std::atomic<bool>&) override {
        while (!open)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return {{}, "refused"};
    }
    std::atomic<bool> open{false};
};

// The job runs off the calling thread, one request at a time, and tells the
// result on the context's thread.
TEST(ProgramPathsJobTest, OneRequestAtATimeAnsweredOnTheContextThread) {
    int argc = 1;
    char name[] = "programpaths_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QObject context;
    GatedMounter mounter;
    ProgramPathsJob job(mounter);
    std::optional<ProgramPaths> got;
    std::thread::id answeredOn;
    ASSERT_TRUE(job.Start("\\\\h\\s\\f", true, &context, [&](const ProgramPaths& p) {
        got = p;
        answeredOn = std::this_thread::get_id();
    }));
    EXPECT_TRUE(job.Busy());
    EXPECT_FALSE(job.Start("\\\\h\\s\\g", true, &context, [](const ProgramPaths&) {}));
    mounter.open = true;
    for (int i = 0; i < 400 && !got; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(got);
    EXPECT_EQ(answeredOn, std::this_thread::get_id());
    EXPECT_EQ(got->fallbackReason, "refused");
    EXPECT_FALSE(job.Busy());
    EXPECT_TRUE(job.Start("\\\\h\\s\\g", false, &context, [](const ProgramPaths&) {}));
}

// A job whose share never answers: the job's end (the window closing, the
// program quitting) kills gio at once rather than waiting out its time limit,
// and the result is not told.
TEST(ProgramPathsJobTest, EndingTheJobKillsAMountThatNeverAnswers) {
    int argc = 1;
    char name[] = "programpaths_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const fs::path folder = fs::temp_directory_path() / ("ormix-gio-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    ormix::testing::StalledGio gio(folder.string());
    QObject context;
    GvfsShareMounter mounter;
    bool told = false;
    auto job = std::make_unique<ProgramPathsJob>(mounter);
    ASSERT_TRUE(
        job->Start("\\\\127.0.0.1\\Docs\\a.txt", true, &context, [&](const ProgramPaths&) { told = true; }));
    for (int i = 0; i < 2000 && gio.pids().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(gio.pids().size(), 1u);
    const pid_t pid = gio.pids()[0];
    EXPECT_EQ(::kill(pid, 0), 0) << "gio waits for the share";
    EXPECT_TRUE(job->Busy());

    const auto t0 = std::chrono::steady_clock::now();
    job.reset();
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, std::chrono::seconds(30)) << "waited for gio's time limit";
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH) << "gio was killed and reaped";
    QCoreApplication::processEvents();
    EXPECT_FALSE(told);
    fs::remove_all(folder);
}

} // namespace

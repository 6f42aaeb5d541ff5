// Free drive letters and attaching a share: the gio calls, the link under
// ~/NetDrives and the bookmark, against a temporary home folder.
#include "platform/launcher.h"
#include "settings/netdrive.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using namespace ormix;

namespace {

// Answers gio by its sub-command ("mount", "info") and records every call.
class GioFake : public ProgramLauncher {
public:
    std::vector<QStringList> calls;
    std::vector<QByteArray> inputs; // of the calls that had input
    std::map<QString, RunResult> answers;

    bool startDetached(const QString&, const QStringList&) override { return false; }
    RunResult run(const QString& program, const QStringList& arguments, int) override {
        calls.push_back(QStringList{program} + arguments);
        const auto it = answers.find(arguments.value(0));
        return it != answers.end() ? it->second : exited(0);
    }
    RunResult runWithInput(const QString& program, const QStringList& arguments, const QByteArray& input,
                           int timeoutMs) override {
        inputs.push_back(input);
        return run(program, arguments, timeoutMs);
    }

    static RunResult exited(int code) {
        RunResult r;
        r.status = RunResult::Status::Exited;
        r.exitCode = code;
        return r;
    }
};

class EnvVar {
public:
    EnvVar(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class NetDriveTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    std::string home = tmp.path().toStdString() + "/home";
    std::string runtime = tmp.path().toStdString() + "/run";
    EnvVar homeVar{"HOME", home};
    EnvVar runtimeVar{"XDG_RUNTIME_DIR", runtime};
    EnvVar configVar{"XDG_CONFIG_HOME", std::nullopt};
    GioFake gio;
    ScopedLauncher scoped{gio};

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        fs::create_directories(home);
        fs::create_directories(runtime + "/gvfs");
    }

    std::string mountFolder(const std::string& name) {
        const std::string folder = runtime + "/gvfs/" + name;
        fs::create_directories(folder);
        return folder;
    }
    std::string link(char letter) const { return home + "/NetDrives/" + letter; }
    std::string bookmarksFile() const { return home + "/.config/gtk-3.0/bookmarks"; }
    std::string bookmarks() const {
        QFile f(QString::fromStdString(bookmarksFile()));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<none>");
    }
    static std::string linkTarget(const std::string& path) {
        std::error_code ec;
        return fs::read_symlink(path, ec).string();
    }
};

std::vector<std::string> letters(const std::string& from, char first, char last) {
    std::vector<std::string> out;
    for (char c : from)
        out.push_back(std::string(1, c) + ":");
    for (char c = first; c <= last; ++c)
        out.push_back(std::string(1, c) + ":");
    return out;
}

TEST_F(NetDriveTest, FreeNamesSkipEveryExistingEntryUnderNetDrives) {
    EXPECT_EQ(FreeDriveNames(), letters("", 'A', 'Z')); // no NetDrives folder yet

    fs::create_directories(link('A'));             // a folder
    fs::create_symlink(home, link('C'));           // a live link
    fs::create_symlink(home + "/gone", link('D')); // a dangling link still owns D
    EXPECT_EQ(FreeDriveNames(), letters("B", 'E', 'Z'));
    EXPECT_EQ(FreeDriveNames().size(), 23u);
}

TEST_F(NetDriveTest, AttachMountsLinksAndBookmarks) {
    const std::string folder = mountFolder("smb-share:server=192.168.0.5,share=docs");

    ASSERT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveOk);

    ASSERT_EQ(gio.calls.size(), 1u);
    EXPECT_EQ(gio.calls[0], (QStringList{"gio", "mount", "-a", "smb://192.168.0.5/Docs"}));
    EXPECT_EQ(linkTarget(link('E')), folder);
    EXPECT_EQ(bookmarks(), "smb://192.168.0.5/Docs E:\n");
    EXPECT_EQ(FreeDriveNames(), letters("ABCD", 'F', 'Z'));
}

// With an account gio's questions are answered on its standard input; the
// password is never an argument.
TEST_F(NetDriveTest, AccountAnswersGioOnItsInput) {
    using smbproto::AuthMethod;
    using smbproto::JobAuth;
    ASSERT_EQ(MapNetworkDrive("e:", R"(\\127.0.0.13\Docs)",
                              JobAuth(AuthMethod::Account, "OFFICE", "bob", "pa ss")),
              NetDriveOk);
    ASSERT_EQ(gio.calls.size(), 1u);
    EXPECT_EQ(gio.calls[0], (QStringList{"gio", "mount", "smb://127.0.0.13/Docs"}));
    ASSERT_EQ(gio.inputs.size(), 1u);
    EXPECT_EQ(gio.inputs[0], QByteArray("bob\nOFFICE\npa ss\n"));
    // A line break inside an answer would answer the next question: refused before gio runs.
    EXPECT_EQ(MapNetworkDrive("f:", R"(\\127.0.0.13\Docs)", JobAuth(AuthMethod::Account, "", "bob", "a\nb")),
              NetDriveBadNetPath);
    EXPECT_EQ(gio.calls.size(), 1u);
}

TEST_F(NetDriveTest, MountFolderFoundWhateverItsCaseAndEscaping) {
    const std::string folder =
        mountFolder("smb-share:domain=wg,server=192.168.0.5,share=my%20d%c3%b6cs$,user=guest");
    ASSERT_EQ(MapNetworkDrive("F:", "\\\\192.168.0.5\\My DÖcs$\\sub"), NetDriveOk);
    EXPECT_EQ(gio.calls[0].value(3), "smb://192.168.0.5/My%20D%C3%96cs%24/sub");
    EXPECT_EQ(linkTarget(link('F')), folder + "/sub");
    EXPECT_EQ(bookmarks(), "smb://192.168.0.5/My%20D%C3%96cs%24/sub F:\n");
}

TEST_F(NetDriveTest, UnlistedMountLinksToTheFolderGvfsWouldUse) {
    ASSERT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveOk);
    EXPECT_EQ(linkTarget(link('E')), runtime + "/gvfs/smb-share:server=192.168.0.5,share=docs");
}

TEST_F(NetDriveTest, AlreadyMountedCountsAsAttached) {
    gio.answers["mount"] = GioFake::exited(2);
    gio.answers["info"] = GioFake::exited(0);
    ASSERT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveOk);
    ASSERT_EQ(gio.calls.size(), 2u);
    EXPECT_EQ(gio.calls[1], (QStringList{"gio", "info", "smb://192.168.0.5/Docs"}));
    EXPECT_TRUE(fs::is_symlink(link('E')));
}

TEST_F(NetDriveTest, FailuresLeaveNoLinkAndNoBookmark) {
    struct Case {
        const char* name;
        std::string local, path;
        std::optional<RunResult> mount, info;
        int status;
        size_t gioCalls;
    };
    RunResult notStarted;
    RunResult timedOut;
    timedOut.status = RunResult::Status::TimedOut;
    const std::vector<Case> cases = {
        {"mount refused", "e:", R"(\\192.168.0.5\Docs)", GioFake::exited(2), GioFake::exited(1),
         NetDriveBadNetPath, 2},
        {"mount timed out", "e:", R"(\\192.168.0.5\Docs)", timedOut, GioFake::exited(1), NetDriveBadNetPath,
         2},
        {"no gio", "e:", R"(\\192.168.0.5\Docs)", notStarted, std::nullopt, NetDriveNoNetwork, 1},
        {"bare letter", "e", R"(\\192.168.0.5\Docs)", {}, {}, NetDriveBadDevice, 0},
        {"digit", "1:", R"(\\192.168.0.5\Docs)", {}, {}, NetDriveBadDevice, 0},
        {"device name", "lpt1:", R"(\\192.168.0.5\Docs)", {}, {}, NetDriveBadDevice, 0},
        {"host only", "e:", R"(\\192.168.0.5)", {}, {}, NetDriveBadNetName, 0},
        {"host and slash", "e:", R"(\\192.168.0.5\)", {}, {}, NetDriveBadNetName, 0},
        {"no backslashes", "e:", "192.168.0.5\\Docs", {}, {}, NetDriveBadNetName, 0},
        {"empty", "e:", "", {}, {}, NetDriveBadNetName, 0},
        {"empty host", "e:", R"(\\\Docs)", {}, {}, NetDriveBadNetName, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gio.calls.clear();
        gio.answers.clear();
        if (c.mount)
            gio.answers["mount"] = *c.mount;
        if (c.info)
            gio.answers["info"] = *c.info;
        EXPECT_EQ(MapNetworkDrive(c.local, c.path), c.status);
        EXPECT_EQ(gio.calls.size(), c.gioCalls);
        EXPECT_FALSE(fs::exists(fs::symlink_status(link('E'))));
        EXPECT_EQ(bookmarks(), "<none>");
    }
}

TEST_F(NetDriveTest, LetterTakenSinceTheListWasBuilt) {
    fs::create_directories(link('E'));
    EXPECT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveAlreadyAssigned);
    EXPECT_TRUE(gio.calls.empty());
}

TEST_F(NetDriveTest, BookmarksKeepTheirLinesAndGetNoDuplicate) {
    fs::create_directories(home + "/.config/gtk-3.0");
    {
        QFile f(QString::fromStdString(bookmarksFile()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("file:///root/Music Music\nsmb://192.168.0.9/Pub F:"); // no final line break
    }
    ASSERT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveOk);
    fs::remove(link('E'));
    ASSERT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveOk);
    EXPECT_EQ(bookmarks(), "file:///root/Music Music\nsmb://192.168.0.9/Pub F:\nsmb://192.168.0.5/Docs E:\n");
}

TEST_F(NetDriveTest, BookmarksThatAreALinkAreUpdatedWhereTheyPoint) {
    const std::string dotfiles = tmp.path().toStdString() + "/dotfiles";
    fs::create_directories(dotfiles);
    {
        QFile f(QString::fromStdString(dotfiles + "/bookmarks"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    fs::create_directories(home + "/.config/gtk-3.0");
    fs::create_symlink(dotfiles + "/bookmarks", bookmarksFile());

    ASSERT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveOk);
    EXPECT_TRUE(fs::is_symlink(bookmarksFile()));
    EXPECT_EQ(bookmarks(), "smb://192.168.0.5/Docs E:\n");
}

TEST_F(NetDriveTest, ConfigHomeIsHonoured) {
    const std::string config = tmp.path().toStdString() + "/cfg";
    EnvVar configHome{"XDG_CONFIG_HOME", config};
    ASSERT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveOk);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(config + "/gtk-3.0/bookmarks")));
}

TEST_F(NetDriveTest, UnwritableBookmarksUndoTheLink) {
    fs::create_directories(home + "/.config");
    QFile blocker(QString::fromStdString(home + "/.config/gtk-3.0")); // a file where the folder belongs
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveBadProfile);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link('E'))));
    EXPECT_EQ(FreeDriveNames().size(), 26u);
}

TEST_F(NetDriveTest, NetDrivesThatIsAFileFailsCleanly) {
    QFile blocker(QString::fromStdString(home + "/NetDrives"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\Docs)"), NetDriveCannotMake);
    EXPECT_EQ(bookmarks(), "<none>");
}

// The real launcher with a stand-in gio first on PATH: the program is found by
// name, gets exactly the expected words, and its exit status is what counts.
TEST_F(NetDriveTest, StandInGioOnPathSeesTheExactWords) {
    ProcessLauncher process;
    ScopedLauncher useProcess{process};
    const std::string bin = tmp.path().toStdString() + "/bin";
    const std::string log = tmp.path().toStdString() + "/gio.log";
    fs::create_directories(bin);
    {
        QFile script(QString::fromStdString(bin + "/gio"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\" >> '" + log +
                      "'; done\necho >> '" + log +
                      "'\n[ \"$1\" = mount ] && exit ${GIO_MOUNT_EXIT:-0}\nexit 1\n")
                         .c_str());
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const char* oldPath = std::getenv("PATH");
    EnvVar path{"PATH", bin + ":" + (oldPath ? oldPath : "/usr/bin:/bin")};

    ASSERT_EQ(MapNetworkDrive("e:", R"(\\192.168.0.5\My Docs)"), NetDriveOk);
    {
        EnvVar fail{"GIO_MOUNT_EXIT", std::string("2")};
        EXPECT_EQ(MapNetworkDrive("g:", R"(\\192.168.0.5\Other)"), NetDriveBadNetPath);
    }
    QFile f(QString::fromStdString(log));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), "[mount][-a][smb://192.168.0.5/My%20Docs]\n"
                                         "[mount][-a][smb://192.168.0.5/Other]\n"
                                         "[info][smb://192.168.0.5/Other]\n");
}

} // namespace

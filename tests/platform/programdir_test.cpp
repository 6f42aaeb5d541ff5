// Where the program keeps its own files.
#include "platform/programdir.h"

#include "fixtures/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

using namespace ormix;
namespace fs = std::filesystem;

namespace {

class ProgramDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ormix-pdir-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        tmp_ = pattern;
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            if (const char* v = std::getenv(name))
                saved_.emplace_back(name, v);
            else
                saved_.emplace_back(name, std::nullopt);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
        std::error_code ec;
        fs::remove_all(tmp_, ec);
    }

    fs::path tmp_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ProgramDirTest, WritableProgramFolderIsUsed) {
    EXPECT_EQ(programDirFor(tmp_.string()), tmp_.string() + "/");
    EXPECT_EQ(programDirFor(tmp_.string() + "/"), tmp_.string() + "/");
    // The test binary sits in the build folder, usually writable.
    setenv("XDG_DATA_HOME", (tmp_ / "xdg").c_str(), 1);
    const std::string exeDir = fs::read_symlink("/proc/self/exe").parent_path().string();
    const bool writable = access(exeDir.c_str(), W_OK) == 0;
    EXPECT_EQ(programDir(), writable ? exeDir + "/" : (tmp_ / "xdg" / "ormix").string() + "/");
}

TEST_F(ProgramDirTest, FallsBackToUserDataFolder) {
    const std::string notThere = (tmp_ / "no-such-dir").string();
    setenv("XDG_DATA_HOME", (tmp_ / "xdg").c_str(), 1);
    EXPECT_EQ(programDirFor(notThere), (tmp_ / "xdg" / "ormix").string() + "/");
    EXPECT_TRUE(fs::is_directory(tmp_ / "xdg" / "ormix")) << "created on demand";

    setenv("HOME", (tmp_ / "home").c_str(), 1);
    for (const char* ignored : {"", "relative/dir"}) {
        setenv("XDG_DATA_HOME", ignored, 1);
        EXPECT_EQ(programDirFor(notThere), (tmp_ / "home" / ".local" / "share" / "ormix").string() + "/");
    }
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(programDirFor(""), (tmp_ / "home" / ".local" / "share" / "ormix").string() + "/");

    if (geteuid() != 0) {
        const fs::path ro = tmp_ / "readonly";
        fs::create_directory(ro);
        fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(programDirFor(ro.string()), (tmp_ / "home" / ".local" / "share" / "ormix").string() + "/");
        fs::permissions(ro, fs::perms::owner_all);
    }
}

// An installation (bin/ with share/ormix/installed beside it) keeps its files
// in the XDG folders and finds its helper in libexec, even where bin/ is
// writable (root); a build folder named bin/ without the marker does not.
TEST_F(ProgramDirTest, InstalledCopyUsesXdgFoldersAndLibexec) {
    setenv("XDG_DATA_HOME", (tmp_ / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (tmp_ / "config").c_str(), 1);
    const fs::path prefix = tmp_ / "usr";
    const std::string bin = (prefix / "bin").string();
    fs::create_directories(bin);
    fs::create_directories(prefix / "share" / "ormix");

    EXPECT_FALSE(runsInstalled(bin));
    EXPECT_EQ(programDirFor(bin), bin + "/");
    EXPECT_EQ(configFilePathFor(bin), fs::current_path().string() + "/cfg.ini");
    EXPECT_EQ(smbHelperPathFor(bin), bin + "/ormix-smb");

    ormix::testing::writeFile((prefix / "share" / "ormix" / kInstalledMarker).string(), "installed\n");
    EXPECT_TRUE(runsInstalled(bin));
    EXPECT_TRUE(runsInstalled(bin + "/")) << "a trailing slash names the same folder";
    EXPECT_EQ(programDirFor(bin), (tmp_ / "data" / "ormix").string() + "/");
    EXPECT_EQ(configFilePathFor(bin), (tmp_ / "config" / "ormix" / "cfg.ini").string());
    EXPECT_TRUE(fs::is_directory(tmp_ / "config" / "ormix")) << "created on demand";
    EXPECT_EQ(smbHelperPathFor(bin), (prefix / "libexec" / "ormix" / "ormix-smb").string());

    // The marker only counts beside a folder named bin.
    const fs::path other = tmp_ / "opt";
    fs::create_directories(other / "tools");
    fs::create_directories(other / "share" / "ormix");
    ormix::testing::writeFile((other / "share" / "ormix" / kInstalledMarker).string(), "installed\n");
    EXPECT_FALSE(runsInstalled((other / "tools").string()));
}

} // namespace

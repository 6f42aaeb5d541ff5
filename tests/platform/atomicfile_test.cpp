// Whole-file reads that never block on a FIFO or device and refuse oversized
// files; atomic replacement (mode kept, links followed, read-only refused, a
// save killed before the rename leaves the old file) and the clean-up of
// temporary files that dead processes left behind.
#include "platform/atomicfile.h"

#include "fixtures/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ormix;
using ormix::testing::readFile;
using ormix::testing::writeFile;
namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ormix-atomic-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "list.txt").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    size_t filesInDir() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
    mode_t modeOf(const std::string& p) const {
        struct stat st {};
        EXPECT_EQ(::stat(p.c_str(), &st), 0);
        return st.st_mode & 07777;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(AtomicFileTest, ReadsOnlyRegularFilesWithinTheLimit) {
    writeFile(path_, "abc");
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0644), 0);
    fs::create_directory(dir_ / "folder");
    const std::string big = (dir_ / "big").string();
    writeFile(big, std::string(1025, 'x'));
    struct Case {
        std::string path;
        bool ok;
        FileError::Kind kind;
    } cases[] = {
        {path_, true, {}},
        {(dir_ / "fifo").string(), false, FileError::Kind::NotRegular}, // must not wait for a writer
        {"/dev/zero", false, FileError::Kind::NotRegular},
        {(dir_ / "folder").string(), false, FileError::Kind::NotRegular},
        {big, false, FileError::Kind::TooLarge},
        {(dir_ / "missing").string(), false, FileError::Kind::NotFound},
        {(dir_ / "missing" / "x").string(), false, FileError::Kind::NotFound},
    };
    for (const auto& c : cases) {
        const auto r = readRegularFile(c.path, 1024);
        ASSERT_EQ(r.ok(), c.ok) << c.path;
        if (c.ok) {
            EXPECT_EQ(r.value(), "abc");
        } else {
            EXPECT_EQ(r.error().kind, c.kind) << c.path;
            EXPECT_EQ(r.error().path, c.path);
        }
    }
    EXPECT_TRUE(readRegularFile(big, 1025).ok()) << "the limit itself is allowed";
}

TEST_F(AtomicFileTest, ReplacesKeepingModeAndLinks) {
    ASSERT_TRUE(replaceFile(path_, "one\n").ok());
    EXPECT_EQ(readFile(path_), "one\n");
    ::chmod(path_.c_str(), 0640);
    ASSERT_TRUE(replaceFile(path_, "two\n").ok());
    EXPECT_EQ(readFile(path_), "two\n");
    EXPECT_EQ(modeOf(path_), 0640u);

    const std::string link = (dir_ / "link.txt").string();
    fs::create_symlink("list.txt", link);
    ASSERT_TRUE(replaceFile(link, "three\n").ok());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(path_), "three\n");
    EXPECT_EQ(filesInDir(), 2u) << "no temporary file stays behind";
}

TEST_F(AtomicFileTest, RefusesWhatItMustNotReplace) {
    writeFile(path_, "keep\n");
    ::chmod(path_.c_str(), 0444); // refused for root as well
    fs::create_directory(dir_ / "folder");
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0644), 0);
    struct Case {
        std::string path;
        FileError::Kind kind;
    } cases[] = {
        {path_, FileError::Kind::ReadOnly},
        {(dir_ / "folder").string(), FileError::Kind::NotRegular},
        {(dir_ / "fifo").string(), FileError::Kind::NotRegular},
        {(dir_ / "missing" / "x").string(), FileError::Kind::NotFound},
    };
    for (const auto& c : cases) {
        const auto r = replaceFile(c.path, "new\n");
        ASSERT_FALSE(r.ok()) << c.path;
        EXPECT_EQ(r.error().kind, c.kind) << c.path;
    }
    EXPECT_EQ(readFile(path_), "keep\n");
    EXPECT_EQ(modeOf(path_), 0444u);
    EXPECT_EQ(filesInDir(), 3u);
}

// A save killed before its rename leaves the old file whole and a temporary
// file, which the next start removes; a living process's temporary file stays.
TEST_F(AtomicFileTest, KilledSaveKeepsOldFileAndItsLeftoverIsRemoved) {
    writeFile(path_, "old\n");
    for (int i = 0; i < 3; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ReplaceOptions options;
            options.beforeRename = [] { ::_exit(7); };
            (void)replaceFile(path_, "new and longer\n", options);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
    }
    EXPECT_EQ(readFile(path_), "old\n");
    EXPECT_EQ(filesInDir(), 4u);

    const std::string living = (dir_ / ".list.txt.1.0123456789abcdef.tmp").string(); // pid 1 never dies
    const std::string mine =
        (dir_ / (".list.txt." + std::to_string(::getpid()) + ".0123456789abcdef.tmp")).string();
    const std::string other = (dir_ / ".other.txt.999999999.0123456789abcdef.tmp").string();
    for (const auto& p : {living, mine, other})
        writeFile(p, "x");
    EXPECT_EQ(removeStaleTemporaries(path_), 3u);
    EXPECT_TRUE(fs::exists(living));
    EXPECT_TRUE(fs::exists(mine));
    EXPECT_TRUE(fs::exists(other)) << "another file's temporaries are not ours to judge";
    EXPECT_EQ(filesInDir(), 4u);
    ASSERT_TRUE(replaceFile(path_, "next\n").ok());
    EXPECT_EQ(readFile(path_), "next\n");
}

} // namespace

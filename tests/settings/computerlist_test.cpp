// The computer list: recording order and updates, the "range.lst" file
// (round trip, bad lines, names with commas), saves that crash before the
// rename, MS-DOS date-times and the address order.
#include "settings/computerlist.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace ormix;
namespace fs = std::filesystem;

namespace {

class ComputerListTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/ormix-complist-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/range.lst";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

    std::string dir_;
    std::string path_;
};

// 9 December 2004, 14:05:32 (and :33, which the two-second resolution drops).
constexpr int32_t kDec9 = 831090864;

std::tm at(int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return t;
}

std::vector<std::string> ips(const std::vector<ComputerRecord>& list) {
    std::vector<std::string> out;
    for (const auto& c : list)
        out.push_back(c.Ip);
    return out;
}

} // namespace

TEST(DosDateTime, EncodesDecodesAndRejects) {
    EXPECT_EQ(toDosDateTime(at(2004, 12, 9, 14, 5, 32)), kDec9);
    EXPECT_EQ(toDosDateTime(at(2004, 12, 9, 14, 5, 33)), kDec9);
    EXPECT_EQ(formatDosDateTime(kDec9), "09/12/04 14:05:32");
    EXPECT_EQ(formatDosDateTime(kDec9, '.', '-'), "09.12.04 14-05-32");
    std::tm t;
    ASSERT_TRUE(fromDosDateTime(toDosDateTime(at(2024, 2, 29, 23, 59, 58)), t));
    EXPECT_EQ(t.tm_mday, 29);
    // Month 0, month 13, 30 February, 29 February of a common year, hour 24, minute 60, second 60.
    const int32_t bad[] = {0,
                           (24 << 25) | (13 << 21) | (1 << 16),
                           (24 << 25) | (2 << 21) | (30 << 16),
                           (25 << 25) | (2 << 21) | (29 << 16),
                           (24 << 25) | (1 << 21) | (1 << 16) | (24 << 11),
                           (24 << 25) | (1 << 21) | (1 << 16) | (60 << 5),
                           (24 << 25) | (1 << 21) | (1 << 16) | 30,
                           (120 << 25) | (2 << 21) | (29 << 16)}; // 2100: divisible by 100, not by 400
    for (int32_t v : bad)
        EXPECT_FALSE(fromDosDateTime(v, t)) << v;
    ASSERT_TRUE(fromDosDateTime((20 << 25) | (2 << 21) | (29 << 16), t)) << "2000 is a leap year";
    EXPECT_EQ(t.tm_mday, 29);
}

TEST_F(ComputerListTest, NewcomersGoFirstAndKnownOnesUpdateInPlace) {
    write("10.0.0.1,OLD1,00-00-00-00-00-01," + std::to_string(kDec9) + "\r\n10.0.0.2,OLD2,," +
          std::to_string(kDec9) + "\r\n");
    ComputerList list(path_);
    ASSERT_TRUE(list.loadComputerList().ok());
    int32_t clock = kDec9 + 1;
    list.setClock([&] { return clock; });
    list.recordComputer("10.0.0.7", "A", "00-00-00-00-00-0A");
    list.recordComputer("10.0.0.8", "B", "");
    list.recordComputer("10.0.0.2", " \tNEW2\r\n", "AA-BB-CC-DD-EE-FF");
    auto l = list.snapshot();
    EXPECT_EQ(ips(l), (std::vector<std::string>{"10.0.0.8", "10.0.0.7", "10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(l[3].Name, "NEW2");
    EXPECT_EQ(l[3].Mac, "AA-BB-CC-DD-EE-FF");
    EXPECT_EQ(l[3].LastSeen, clock);
    EXPECT_EQ(l[2].LastSeen, kDec9);

    // The order survives a save and the next start-up.
    ASSERT_TRUE(list.saveComputerList().ok());
    ComputerList again(path_);
    ASSERT_TRUE(again.loadComputerList().ok());
    EXPECT_EQ(ips(again.snapshot()), ips(l));
}

TEST_F(ComputerListTest, EveryEqualRecordIsUpdated) {
    write("10.0.0.1,X,," + std::to_string(kDec9) + "\r\n10.0.0.1,Y,," + std::to_string(kDec9) + "\r\n");
    ComputerList list(path_);
    list.loadComputerList();
    list.setClock([] { return kDec9 + 2; });
    list.recordComputer("10.0.0.1", "Z", "");
    for (const auto& c : list.snapshot()) {
        EXPECT_EQ(c.Name, "Z");
        EXPECT_EQ(c.LastSeen, kDec9 + 2);
    }
    EXPECT_EQ(list.count(), 2u);
}

TEST_F(ComputerListTest, FileFormatRoundTrip) {
    ComputerList list(path_);
    list.setClock([] { return kDec9; });
    list.recordComputer("192.168.0.5", "PC5", "00-0C-29-AB-CD-EF");
    list.recordComputer("10.1.1.1", "СЕРВЕР", "");
    ASSERT_TRUE(list.saveComputerList().ok());
    EXPECT_EQ(read(), "10.1.1.1,СЕРВЕР,,831090864\r\n192.168.0.5,PC5,00-0C-29-AB-CD-EF,831090864\r\n");
    EXPECT_FALSE(fs::exists(path_ + ".tmp"));

    ComputerList back(path_);
    ASSERT_TRUE(back.loadComputerList().ok());
    const auto l = back.snapshot();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].Name, "СЕРВЕР");
    EXPECT_EQ(l[1].Mac, "00-0C-29-AB-CD-EF");
    EXPECT_EQ(l[1].LastSeen, kDec9);
}

// Lines that are not records are counted and written back verbatim, after the records.
TEST_F(ComputerListTest, UnreadableLinesAreCountedAndKept) {
    const std::string d = std::to_string(kDec9);
    write("10.0.0.1,A,," + d +
          "\r\n" // good
          "\r\n" // empty
          "10.0.0.2,B," +
          d +
          "\r\n"                        // three fields
          "10.0.0.3,C,,soon\r\n"        // not a number
          "10.0.0.4,D,,12x\r\n"         // trailing junk
          "10.0.0.5,E,,99999999999\r\n" // beyond 32 bits
          "10.0.0.6,F,,0\r\n"           // no such date
          "10.0.0.7,G,," +
          d +
          ",extra,fields\n" // good: extra fields ignored, LF only
          "10.0.0.8,H,," +
          d); // good: no final line end
    ComputerList list(path_);
    EXPECT_TRUE(list.loadComputerList().ok());
    EXPECT_EQ(ips(list.snapshot()), (std::vector<std::string>{"10.0.0.1", "10.0.0.7", "10.0.0.8"}));
    EXPECT_EQ(list.skippedLines(), 6);

    list.setClock([] { return kDec9; });
    list.recordComputer("10.0.0.9", "I", "");
    ASSERT_TRUE(list.saveComputerList().ok());
    EXPECT_EQ(read(), "10.0.0.9,I,,831090864\r\n10.0.0.1,A,,831090864\r\n"
                      "10.0.0.7,G,,831090864\r\n10.0.0.8,H,,831090864\r\n"
                      "\r\n10.0.0.2,B,831090864\r\n10.0.0.3,C,,soon\r\n10.0.0.4,D,,12x\r\n"
                      "10.0.0.5,E,,99999999999\r\n10.0.0.6,F,,0\r\n");
    ComputerList again(path_);
    ASSERT_TRUE(again.loadComputerList().ok());
    EXPECT_EQ(again.count(), 4u);
    EXPECT_EQ(again.skippedLines(), 6);
}

TEST_F(ComputerListTest, CommaInNameKeepsFourFields) {
    ComputerList list(path_);
    list.setClock([] { return kDec9; });
    list.recordComputer("10.0.0.1", "  BAD,NAME\nX ", "");
    ASSERT_TRUE(list.saveComputerList().ok());
    EXPECT_EQ(read(), "10.0.0.1,BAD NAME X,,831090864\r\n");
    ComputerList back(path_);
    back.loadComputerList();
    ASSERT_EQ(back.count(), 1u);
    EXPECT_EQ(back.snapshot()[0].Name, "BAD NAME X");
}

TEST_F(ComputerListTest, CrashBeforeRenameKeepsTheOldFile) {
    const std::string old = "10.0.0.1,OLD,," + std::to_string(kDec9) + "\r\n";
    write(old);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ComputerList list(path_);
        list.loadComputerList();
        list.recordComputer("10.0.0.2", "NEW", "");
        list.setBeforeRenameHook([] { ::_exit(7); });
        list.saveComputerList();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 7);
    EXPECT_EQ(read(), old);

    // The dead save's temporary file goes at the next load; a stale, longer
    // file of an older program's fixed temporary name does not disturb the save.
    std::ofstream(path_ + ".tmp", std::ios::binary) << std::string(500, 'x') << "\r\n";
    auto temporaries = [this] {
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(dir_))
            n += entry.path().filename().string().starts_with(".range.lst.") ? 1 : 0;
        return n;
    };
    EXPECT_EQ(temporaries(), 1u);
    ComputerList list(path_);
    ASSERT_TRUE(list.loadComputerList().ok());
    EXPECT_EQ(list.count(), 1u);
    EXPECT_EQ(temporaries(), 0u);
    list.setClock([] { return kDec9; });
    list.recordComputer("10.0.0.3", "NEXT", "");
    ASSERT_TRUE(list.saveComputerList().ok());
    EXPECT_EQ(read(), "10.0.0.3,NEXT,,831090864\r\n" + old);
}

// A read-only list, a FIFO or a list the load could not read is never replaced;
// a symbolic link stays a link.
TEST_F(ComputerListTest, FilesThatMustNotBeReplaced) {
    const std::string old = "10.0.0.1,OLD,," + std::to_string(kDec9) + "\r\n";
    write(old);
    ::chmod(path_.c_str(), 0444); // refused for root as well
    {
        ComputerList list(path_);
        ASSERT_TRUE(list.loadComputerList().ok());
        list.recordComputer("10.0.0.2", "NEW", "");
        EXPECT_FALSE(list.saveComputerList().ok());
        EXPECT_EQ(list.count(), 2u);
        EXPECT_EQ(read(), old);
        EXPECT_EQ(fs::status(path_).permissions(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    fs::remove(path_);
    ASSERT_EQ(::mkfifo(path_.c_str(), 0644), 0); // a blocking open would hang here
    {
        ComputerList list(path_);
        EXPECT_FALSE(list.loadComputerList().ok());
        list.recordComputer("10.0.0.2", "NEW", "");
        EXPECT_FALSE(list.saveComputerList().ok());
        EXPECT_TRUE(fs::is_fifo(path_));
    }
    fs::remove(path_);
    write(old);
    fs::rename(path_, dir_ + "/real.lst");
    fs::create_symlink("real.lst", path_);
    {
        ComputerList list(path_);
        ASSERT_TRUE(list.loadComputerList().ok());
        list.setClock([] { return kDec9; });
        list.recordComputer("10.0.0.2", "NEW", "");
        ASSERT_TRUE(list.saveComputerList().ok());
        EXPECT_TRUE(fs::is_symlink(path_));
        EXPECT_EQ(read(), "10.0.0.2,NEW,,831090864\r\n" + old);
    }
}

TEST_F(ComputerListTest, MissingFileIsCreatedAndFailuresAreReported) {
    ComputerList list(path_);
    EXPECT_TRUE(list.loadComputerList().ok());
    EXPECT_TRUE(fs::exists(path_));
    EXPECT_EQ(list.count(), 0u);

    ComputerList nowhere(dir_ + "/no/such/folder/range.lst");
    EXPECT_FALSE(nowhere.loadComputerList().ok());
    nowhere.recordComputer("10.0.0.1", "A", "");
    EXPECT_FALSE(nowhere.saveComputerList().ok());
    EXPECT_EQ(nowhere.count(), 1u); // kept for the next save
}

TEST(ComputerOrder, ByAddressValue) {
    std::vector<ComputerRecord> l = {{"192.168.0.10", "", "", 0},
                                     {"192.168.0.2", "", "", 0},
                                     {"10.0.0.2", "", "", 0},
                                     {"192.168.0.1", "", "", 0}};
    sortComputersByIp(l);
    EXPECT_EQ(ips(l), (std::vector<std::string>{"10.0.0.2", "192.168.0.1", "192.168.0.2", "192.168.0.10"}));
    EXPECT_EQ(computerIpKey("192.168.0.5"), 3232235525u);
}

// The computer list: recording order and updates, the "range.lst" file
// (round trip, bad lines, names with commas), saves that crash before the
// rename, MS-DOS date-times and the address order.
#include "settings/computerlist.h"

#include <gtest/gtest.h>

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

std::vector<std::string> ips(const std::vector<COMPINF_>& list) {
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
                           (24 << 25) | (1 << 21) | (1 << 16) | 30};
    for (int32_t v : bad)
        EXPECT_FALSE(fromDosDateTime(v, t)) << v;
}

TEST_F(ComputerListTest, NewcomersGoFirstAndKnownOnesUpdateInPlace) {
    write("10.0.0.1,OLD1,00-00-00-00-00-01," + std::to_string(kDec9) + "\r\n10.0.0.2,OLD2,," +
          std::to_string(kDec9) + "\r\n");
    ComputerList list(path_);
    ASSERT_EQ(list.LoadComputerList(), "");
    int32_t clock = kDec9 + 1;
    list.setClock([&] { return clock; });
    list.RecordComputer("10.0.0.7", "A", "00-00-00-00-00-0A");
    list.RecordComputer("10.0.0.8", "B", "");
    list.RecordComputer("10.0.0.2", " \tNEW2\r\n", "AA-BB-CC-DD-EE-FF");
    auto l = list.Snapshot();
    EXPECT_EQ(ips(l), (std::vector<std::string>{"10.0.0.8", "10.0.0.7", "10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(l[3].Name, "NEW2");
    EXPECT_EQ(l[3].Mac, "AA-BB-CC-DD-EE-FF");
    EXPECT_EQ(l[3].LastSeen, clock);
    EXPECT_EQ(l[2].LastSeen, kDec9);

    // The order survives a save and the next start-up.
    ASSERT_EQ(list.SaveComputerList(), "");
    ComputerList again(path_);
    ASSERT_EQ(again.LoadComputerList(), "");
    EXPECT_EQ(ips(again.Snapshot()), ips(l));
}

TEST_F(ComputerListTest, EveryEqualRecordIsUpdated) {
    write("10.0.0.1,X,," + std::to_string(kDec9) + "\r\n10.0.0.1,Y,," + std::to_string(kDec9) + "\r\n");
    ComputerList list(path_);
    list.LoadComputerList();
    list.setClock([] { return kDec9 + 2; });
    list.RecordComputer("10.0.0.1", "Z", "");
    for (const auto& c : list.Snapshot()) {
        EXPECT_EQ(c.Name, "Z");
        EXPECT_EQ(c.LastSeen, kDec9 + 2);
    }
    EXPECT_EQ(list.Count(), 2u);
}

TEST_F(ComputerListTest, FileFormatRoundTrip) {
    ComputerList list(path_);
    list.setClock([] { return kDec9; });
    list.RecordComputer("192.168.0.5", "PC5", "00-0C-29-AB-CD-EF");
    list.RecordComputer("10.1.1.1", "СЕРВЕР", "");
    ASSERT_EQ(list.SaveComputerList(), "");
    EXPECT_EQ(read(), "10.1.1.1,СЕРВЕР,,831090864\r\n192.168.0.5,PC5,00-0C-29-AB-CD-EF,831090864\r\n");
    EXPECT_FALSE(fs::exists(path_ + ".tmp"));

    ComputerList back(path_);
    ASSERT_EQ(back.LoadComputerList(), "");
    const auto l = back.Snapshot();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].Name, "СЕРВЕР");
    EXPECT_EQ(l[1].Mac, "00-0C-29-AB-CD-EF");
    EXPECT_EQ(l[1].LastSeen, kDec9);
}

TEST_F(ComputerListTest, BadLinesAreSkipped) {
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
    EXPECT_EQ(list.LoadComputerList(), "");
    EXPECT_EQ(ips(list.Snapshot()), (std::vector<std::string>{"10.0.0.1", "10.0.0.7", "10.0.0.8"}));
    EXPECT_EQ(list.SkippedLines(), 6);
}

TEST_F(ComputerListTest, CommaInNameKeepsFourFields) {
    ComputerList list(path_);
    list.setClock([] { return kDec9; });
    list.RecordComputer("10.0.0.1", "  BAD,NAME\nX ", "");
    ASSERT_EQ(list.SaveComputerList(), "");
    EXPECT_EQ(read(), "10.0.0.1,BAD NAME X,,831090864\r\n");
    ComputerList back(path_);
    back.LoadComputerList();
    ASSERT_EQ(back.Count(), 1u);
    EXPECT_EQ(back.Snapshot()[0].Name, "BAD NAME X");
}

TEST_F(ComputerListTest, CrashBeforeRenameKeepsTheOldFile) {
    const std::string old = "10.0.0.1,OLD,," + std::to_string(kDec9) + "\r\n";
    write(old);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ComputerList list(path_);
        list.LoadComputerList();
        list.RecordComputer("10.0.0.2", "NEW", "");
        list.setBeforeRenameHook([] { ::_exit(7); });
        list.SaveComputerList();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 7);
    EXPECT_EQ(read(), old);

    // The leftover temporary file neither disturbs the next load nor the next save.
    ComputerList list(path_);
    ASSERT_EQ(list.LoadComputerList(), "");
    EXPECT_EQ(list.Count(), 1u);
    list.RecordComputer("10.0.0.3", "NEXT", "");
    ASSERT_EQ(list.SaveComputerList(), "");
    EXPECT_EQ(read().substr(0, 14), "10.0.0.3,NEXT,");
}

TEST_F(ComputerListTest, MissingFileIsCreatedAndFailuresReturnTheirTexts) {
    ComputerList list(path_);
    EXPECT_EQ(list.LoadComputerList(), "");
    EXPECT_TRUE(fs::exists(path_));
    EXPECT_EQ(list.Count(), 0u);

    ComputerList nowhere(dir_ + "/no/such/folder/range.lst");
    EXPECT_EQ(nowhere.LoadComputerList(), "AddMgrUnit: fopen(r) ERROR!");
    nowhere.RecordComputer("10.0.0.1", "A", "");
    EXPECT_EQ(nowhere.SaveComputerList(), "AddMgrUnit: fopen(w+) ERROR!");
    EXPECT_EQ(nowhere.Count(), 1u); // kept for the next save
}

TEST(ComputerOrder, ByAddressValue) {
    std::vector<COMPINF_> l = {{"192.168.0.10", "", "", 0},
                               {"192.168.0.2", "", "", 0},
                               {"10.0.0.2", "", "", 0},
                               {"192.168.0.1", "", "", 0}};
    sortComputersByIp(l);
    EXPECT_EQ(ips(l), (std::vector<std::string>{"10.0.0.2", "192.168.0.1", "192.168.0.2", "192.168.0.10"}));
    EXPECT_EQ(computerIpKey("192.168.0.5"), 3232235525u);
}

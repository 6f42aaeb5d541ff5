// cfg.ini accessor: value readings, the comma list, the file layout it keeps,
// write failures and many threads on one file.
#include "settings/configfile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace ormix;
namespace fs = std::filesystem;

namespace {

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ormix-cfg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "cfg.ini").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    size_t filesInDir() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(ConfigFileTest, DefaultsWithoutFileThenFirstWriteCreatesIt) {
    ConfigFile cfg(path_);
    std::vector<std::string> keys{"stale"};
    EXPECT_EQ(cfg.ReadText("main", "iprange", ""), "");
    EXPECT_FALSE(cfg.ReadFlag("main", "ShowResCount", false));
    EXPECT_TRUE(cfg.ReadFlag("main", "EmptyRes", true));
    EXPECT_EQ(cfg.ReadNumber("main", "AutoScanInterval", 60), 60);
    EXPECT_EQ(cfg.ReadNumber("main", "select_timeout_usec", 10), 10);
    cfg.ListKeys("ProgList", keys);
    EXPECT_TRUE(keys.empty());
    cfg.ClearSection("ProgIndex");
    cfg.RemoveKey("ProgList", "x");
    EXPECT_FALSE(fs::exists(path_)) << "reads and no-op removals must not create the file";

    cfg.WriteNumber("form", "FormVersion", 0);
    EXPECT_EQ(contents(), "[form]\nFormVersion=0\n");
    EXPECT_EQ(filesInDir(), 1u) << "no temporary file may stay behind";
}

TEST_F(ConfigFileTest, NumberAndFlagReadings) {
    struct Case {
        const char* stored;
        int32_t def;
        int32_t number;
    };
    const Case cases[] = {
        {"0x0A", 6, 10},
        {"ten", 6, 6},
        {"0X1f", 6, 31},
        {"$1F", 6, 31},
        {"0x", 6, 6},
        {"$", 6, 6},
        {"0x-5", 6, 6},
        {"-15", 6, -15},
        {"+7", 6, 7},
        {"00000000000000000042", 6, 42},
        {"2147483647", 6, 2147483647},
        {"2147483648", 6, 6},
        {"-2147483648", 6, INT32_MIN},
        {"-2147483649", 6, 6},
        {"0x7FFFFFFF", 6, 2147483647},
        {"0x80000000", 6, 6},
        {"$FFFFFFFF", 6, 6},
        {"12abc", 6, 6},
        {"1 2", 6, 6},
        {"", 6, 6},
    };
    std::string file = "[main]\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        file += "k" + std::to_string(i) + " = " + cases[i].stored + " \n";
    put(file);
    ConfigFile cfg(path_);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cfg.ReadNumber("main", "k" + std::to_string(i), cases[i].def), cases[i].number)
            << "stored: '" << cases[i].stored << "'";

    put("[main]\nShowResCount=2\nEmptyRes=yes\nAutoScan=0\nGroupByWrkGrp=$0\n");
    EXPECT_TRUE(cfg.ReadFlag("main", "ShowResCount", false));
    EXPECT_FALSE(cfg.ReadFlag("main", "EmptyRes", false));
    EXPECT_TRUE(cfg.ReadFlag("main", "EmptyRes", true));
    EXPECT_FALSE(cfg.ReadFlag("main", "AutoScan", true));
    EXPECT_FALSE(cfg.ReadFlag("main", "GroupByWrkGrp", true));

    cfg.WriteNumber("main", "MaxAddThrds", -12);
    cfg.WriteFlag("main", "AutoScan", true);
    EXPECT_EQ(contents(),
              "[main]\nShowResCount=2\nEmptyRes=yes\nAutoScan=1\nGroupByWrkGrp=$0\nMaxAddThrds=-12\n");
    EXPECT_EQ(cfg.ReadNumber("main", "MaxAddThrds", 6), -12);
}

TEST_F(ConfigFileTest, NamesIgnoreLetterCase) {
    put("[MAIN]\nshowrescount=1\n[ProgList]\nБлокнот=gedit %%prg%%\n");
    ConfigFile cfg(path_);
    EXPECT_TRUE(cfg.ReadFlag("main", "ShowResCount", false));
    EXPECT_EQ(cfg.ReadText("proglist", "БЛОКНОТ", "??"), "gedit %%prg%%");

    cfg.WriteFlag("Main", "SHOWRESCOUNT", false);
    cfg.WriteText("PROGLIST", "блокнот", "kate %%prg%%");
    EXPECT_EQ(contents(), "[MAIN]\nSHOWRESCOUNT=0\n[ProgList]\nблокнот=kate %%prg%%\n");
}

TEST_F(ConfigFileTest, LongTextsAreCutAt2047Characters) {
    std::string ranges = "10.0.0.1-2,";
    while (ranges.size() < 2100)
        ranges += "192.168.0.1-254,";
    std::string cyrillic;
    for (int i = 0; i < 2100; ++i)
        cyrillic += "Ж";
    ConfigFile cfg(path_);
    cfg.WriteText("main", "iprange", ranges);
    cfg.WriteText("main", "ExcludeRes", cyrillic);

    EXPECT_EQ(cfg.ReadText("main", "iprange", ""), ranges.substr(0, 2047));
    EXPECT_TRUE(cfg.ReadText("main", "iprange", "").ends_with(",192."))
        << "the last range ends in the middle";
    const std::string cut = cfg.ReadText("main", "ExcludeRes", "");
    EXPECT_EQ(cut.size(), 2047u * 2) << "2047 characters of two bytes each, no split sequence";
    EXPECT_EQ(contents().find(cyrillic) != std::string::npos, true) << "the file keeps the whole value";
}

TEST(CommaList, Decode) {
    using L = std::vector<std::string>;
    const struct {
        const char* text;
        L items;
    } cases[] = {
        {"My Music", {"My", "Music"}},
        {"\"My Music\",C$", {"My Music", "C$"}},
        {"ADMIN$, C$ IPC$", {"ADMIN$", "C$", "IPC$"}},
        {"192.168.0.1-254,192.168.1.1-254", {"192.168.0.1-254", "192.168.1.1-254"}},
        {"", {}},
        {" \t ", {}},
        {"\"\"", {""}},
        {"a,", {"a", ""}},
        {"a, ", {"a"}},
        {"a,,b", {"a", "", "b"}},
        {" ,a", {"", "a"}},
        {"\"a\"\"b\"", {"a\"b"}},
        {"\"open", {"open"}},
        {"\"ab\"cd", {"ab", "cd"}},
        {"a\"b", {"a\"b"}},
        {"Мои документы,D$", {"Мои", "документы", "D$"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeCommaList(c.text), c.items) << "text: '" << c.text << "'";
    EXPECT_EQ(DecodeCommaList(std::string_view("a,b\0,c", 6)), (L{"a", "b"})) << "a NUL ends the text";
}

TEST(CommaList, EncodeAndRoundTrip) {
    using L = std::vector<std::string>;
    const struct {
        L items;
        const char* text;
    } cases[] = {
        {{"192.168.0.1-254", "192.168.1.1-254"}, "192.168.0.1-254,192.168.1.1-254"},
        {{}, ""},
        {{""}, "\"\""},
        {{"a", ""}, "a,"},
        {{"", ""}, ","},
        {{"", "a"}, ",a"},
        {{"My Music", "C$"}, "\"My Music\",C$"},
        {{"a\"b"}, "\"a\"\"b\""},
        {{"x,y"}, "\"x,y\""},
        {{"tab\there"}, "\"tab\there\""},
        {{"Мои документы"}, "\"Мои документы\""},
        {{"Документы"}, "Документы"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeCommaList(c.items), c.text);
        EXPECT_EQ(DecodeCommaList(EncodeCommaList(c.items)), c.items) << "round trip of " << c.text;
    }
}

TEST_F(ConfigFileTest, ProgIndexRebuildGivesKeys5And6) {
    put("[ProgList]\nEditor=kate %%prg%%\nViewer=eog %%prg%%\n[ProgIndex]\n5=Old\n6=Older\n7=Gone\n");
    ConfigFile cfg(path_);
    std::vector<std::string> programs;
    cfg.ListKeys("ProgList", programs);
    cfg.ClearSection("ProgIndex");
    for (size_t i = 0; i < programs.size(); ++i)
        cfg.WriteText("ProgIndex", std::to_string(5 + i), programs[i]);

    std::vector<std::string> keys;
    cfg.ListKeys("ProgIndex", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"5", "6"}));
    EXPECT_EQ(cfg.ReadText("ProgIndex", "5", "??"), "Editor");
    EXPECT_EQ(cfg.ReadText("ProgIndex", "6", "??"), "Viewer");
    EXPECT_EQ(cfg.ReadText("ProgIndex", "7", "??"), "??");
}

TEST_F(ConfigFileTest, KeepsLayoutItDoesNotOwn) {
    put("\xEF\xBB\xBF; settings\r\n[main]\r\niprange = 10.0.0.1-5 \r\n\r\n; programs\r\nnot a key\r\n"
        "[ProgList]\r\nEd=kate\r\n");
    ConfigFile cfg(path_);
    EXPECT_EQ(cfg.ReadText("main", "iprange", ""), "10.0.0.1-5") << "CR LF and blanks around the value";

    cfg.WriteFlag("main", "AutoScan", true);     // after the last key of its section
    cfg.WriteText("form", "NormPos", "1,2,3,4"); // a new section at the end
    cfg.RemoveKey("ProgList", "Ed");
    EXPECT_EQ(contents(),
              "\xEF\xBB\xBF; settings\r\n[main]\r\niprange = 10.0.0.1-5 \r\nAutoScan=1\r\n\r\n; programs\r\n"
              "not a key\r\n[ProgList]\r\n\r\n[form]\r\nNormPos=1,2,3,4\r\n");

    cfg.ClearSection("main");
    EXPECT_EQ(contents(), "\xEF\xBB\xBF; settings\r\n[ProgList]\r\n\r\n[form]\r\nNormPos=1,2,3,4\r\n");
}

// Files the program wrote before (and the demo LAN's) read the same and, written
// again with the values they hold, stay byte for byte: no rewrite at all.
TEST_F(ConfigFileTest, EarlierFilesRoundTripUnchanged) {
    const char* files[] = {
        "[main]\niprange=127.0.0.10-15\nShowResCount=1\nEmptyRes=0\nGroupByWrkGrp=1\n",
        "[form]\nFormVersion=0\nFlags=0\nShowCmd=1\nPixelsPerInch=96\nMinMaxPos=-1,-1,-1,-1\n"
        "NormPos=10,20,810,620\nVisible=0\n\n[main]\niprange=192.168.0.1-254,192.168.1.1-254\n"
        "ShowResCount=1\nExcludeRes=ADMIN$, C$ IPC$\nEmptyRes=0\nAutoScan=1\nAutoScanInterval=60\n"
        "GroupByWrkGrp=0\n\n[ProgList]\nБлокнот=mousepad %%prg%%\n\n[ProgIndex]\n5=Блокнот\n",
    };
    for (const char* file : files) {
        put(file);
        struct stat before {};
        ASSERT_EQ(::stat(path_.c_str(), &before), 0);
        ConfigFile cfg(path_);
        ConfigEdit edit;
        std::vector<std::string> keys;
        for (const char* section : {"main", "form", "ProgList", "ProgIndex"}) {
            cfg.ListKeys(section, keys);
            for (const auto& key : keys)
                edit.WriteText(section, key, cfg.ReadText(section, key, ""));
        }
        ASSERT_FALSE(edit.empty());
        cfg.Apply(edit);
        EXPECT_EQ(contents(), file);
        struct stat after {};
        ASSERT_EQ(::stat(path_.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "not even rewritten";
    }
}

// Every line keeps its own ending byte for byte; new lines take the file's first ending.
TEST_F(ConfigFileTest, LineEndingsStayAsFound) {
    struct Case {
        const char* before;
        const char* key;
        const char* value;
        const char* after;
    } cases[] = {
        // CR CR LF: the header still opens [main], so the value is replaced, not hidden behind a new one.
        {"[main]\r\r\nAutoScan=0\r\r\n", "AutoScan", "1", "[main]\r\r\nAutoScan=1\r\r\n"},
        {"[main]\r\r\nAutoScan=0\r\r\n", "GroupByWrkGrp", "1",
         "[main]\r\r\nAutoScan=0\r\r\nGroupByWrkGrp=1\r\r\n"},
        {"[main]\nA=1\r\nB=2\n", "B", "3", "[main]\nA=1\r\nB=3\n"},
        {"[main]\r\nA=1\nB=2\r\n", "C", "4", "[main]\r\nA=1\nB=2\r\nC=4\r\n"},
        {"[main]\nA=1", "B", "2", "[main]\nA=1\nB=2\n"},
        {"[main]\nA=1", "A", "1", "[main]\nA=1"}, // nothing changes: no rewrite
        {"[main]\r\n\r\n; note\r", "A", "1", "[main]\r\nA=1\r\n\r\n; note\r"},
    };
    for (const auto& c : cases) {
        put(c.before);
        ConfigFile cfg(path_);
        cfg.WriteText("main", c.key, c.value);
        EXPECT_EQ(contents(), c.after) << c.before;
        EXPECT_EQ(cfg.ReadText("main", c.key, "?"), c.value) << c.before;
    }
}

TEST_F(ConfigFileTest, KeyNamesReadBackAsWritten) {
    ConfigFile cfg(path_);
    cfg.WriteText("ProgList", "[x]", "a=b");
    cfg.WriteText("ProgList", "#1 editor", "\"/opt/my editor/ed\" %%prg%%");
    cfg.WriteText("ProgList", " padded ", "v");
    cfg.WriteText("ProgList", "multi", "line1\nline2\r\n[evil]");
    std::vector<std::string> keys;
    cfg.ListKeys("ProgList", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"[x]", "#1 editor", "padded", "multi"}));
    EXPECT_EQ(cfg.ReadText("ProgList", "[x]", ""), "a=b");
    EXPECT_EQ(cfg.ReadText("ProgList", "#1 editor", ""), "\"/opt/my editor/ed\" %%prg%%");
    EXPECT_EQ(cfg.ReadText("ProgList", "multi", ""), "line1 line2  [evil]")
        << "a value can never open a section";
    EXPECT_EQ(cfg.ReadText("evil", "x", "none"), "none");

    for (const char* bad : {"a=b", "", "   ", ";comment", "two\nlines"}) {
        EXPECT_FALSE(ConfigFile::IsStorableKey(bad)) << bad;
        EXPECT_THROW(cfg.WriteText("ProgList", bad, "x"), ConfigWriteError) << bad;
    }
    EXPECT_THROW(cfg.WriteText("a]b", "k", "x"), ConfigWriteError);
    cfg.ListKeys("ProgList", keys);
    EXPECT_EQ(keys.size(), 4u) << "a refused key leaves the file alone";
}

TEST_F(ConfigFileTest, ListKeysOrderDuplicatesAndBudget) {
    std::string file = "[S]\nb=1\nA=2\n[other]\nz=0\n[s]\na=3\nc=4\n";
    put(file);
    ConfigFile cfg(path_);
    std::vector<std::string> keys;
    cfg.ListKeys("s", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"b", "A", "c"})) << "file order, each name once";
    EXPECT_EQ(cfg.ReadNumber("s", "a", 0), 2) << "the first of duplicates wins";

    // 99-byte names take 100 bytes each: 163 fit into 16384, the 164th does not.
    file = "[big]\n";
    for (int i = 0; i < 200; ++i) {
        std::string name = std::to_string(1000 + i);
        file += name + std::string(99 - name.size(), 'n') + "=v\n";
    }
    put(file);
    cfg.ListKeys("big", keys);
    ASSERT_EQ(keys.size(), 163u);
    EXPECT_EQ(keys.back().size(), 99u) << "only whole names";
    EXPECT_EQ(keys.back().substr(0, 4), "1162");
}

// A file that is not UTF-8 is read as 1251 and stays 1251: untouched lines keep
// their bytes, new lines are stored in 1251, and a text 1251 cannot hold is refused.
TEST_F(ConfigFileTest, CodePage1251FilesStay1251) {
    const std::string file = "[ProgList]\n\xC1\xEB\xEE\xEA\xED\xEE\xF2=notepad\n"; // "Блокнот" in 1251
    put(file);
    ConfigFile cfg(path_);
    std::vector<std::string> keys;
    cfg.ListKeys("ProgList", keys);
    EXPECT_EQ(keys, std::vector<std::string>{"Блокнот"});
    cfg.WriteText("ProgList", "Редактор", "kate");
    EXPECT_EQ(contents(), file + "\xD0\xE5\xE4\xE0\xEA\xF2\xEE\xF0=kate\n");
    EXPECT_EQ(cfg.ReadText("ProgList", "редактор", ""), "kate");
    const std::string written = contents();
    EXPECT_THROW(cfg.WriteText("ProgList", "编辑器", "x"), ConfigWriteError);
    EXPECT_THROW(cfg.WriteText("ProgList", "ed", "ü ≠"), ConfigWriteError);
    EXPECT_EQ(contents(), written);

    // A UTF-8 file spoilt by one stray byte: its Cyrillic lines are not turned into mojibake.
    const std::string mixed = "[ProgList]\nБлокнот=notepad\n; stray \xFF byte\n";
    put(mixed);
    cfg.WriteFlag("main", "AutoScan", true);
    EXPECT_EQ(contents(), mixed + "\n[main]\nAutoScan=1\n");
}

// Too large, a FIFO or a device: reads give the defaults at once, writes are
// refused, and the file stays as it is.
TEST_F(ConfigFileTest, OversizedOrSpecialFilesAreLeftAlone) {
    std::string big = "[main]\nAutoScan=1\n";
    big += "; " + std::string(ConfigFile::kFileLimit - big.size() - 3, 'x') + "\n";
    ASSERT_EQ(big.size(), ConfigFile::kFileLimit);
    put(big);
    ConfigFile cfg(path_);
    EXPECT_FALSE(cfg.IsTooLarge());
    EXPECT_TRUE(cfg.ReadFlag("main", "AutoScan", false)) << "the limit itself is read";
    EXPECT_THROW(cfg.WriteText("main", "iprange", "10.0.0.1-5"), ConfigWriteError) << "would pass the limit";
    cfg.RemoveKey("main", "AutoScan"); // shrinking is fine
    EXPECT_FALSE(cfg.ReadFlag("main", "AutoScan", false));

    big = "[main]\nAutoScan=1\n" + std::string(ConfigFile::kFileLimit, ';') + "\n";
    put(big);
    EXPECT_TRUE(cfg.IsTooLarge());
    EXPECT_FALSE(cfg.ReadFlag("main", "AutoScan", false));
    EXPECT_THROW(cfg.WriteFlag("main", "AutoScan", false), ConfigWriteError);
    EXPECT_THROW(cfg.ClearSection("main"), ConfigWriteError);
    EXPECT_NO_THROW(cfg.RemoveKey("main", "AutoScan"));
    EXPECT_EQ(contents(), big);

    fs::remove(path_);
    ASSERT_EQ(::mkfifo(path_.c_str(), 0644), 0); // nobody ever writes into it: a blocking open would hang
    EXPECT_EQ(cfg.ReadNumber("main", "MaxAddThrds", 6), 6);
    std::vector<std::string> keys{"stale"};
    cfg.ListKeys("main", keys);
    EXPECT_TRUE(keys.empty());
    EXPECT_FALSE(cfg.IsTooLarge());
    EXPECT_THROW(cfg.WriteFlag("main", "AutoScan", true), ConfigWriteError);
    EXPECT_TRUE(fs::is_fifo(path_));
}

TEST_F(ConfigFileTest, SymbolicLinkStaysALink) {
    const fs::path real = dir_ / "real.ini";
    std::ofstream(real) << "[main]\nAutoScan=0\n";
    fs::create_symlink("real.ini", path_);
    ConfigFile cfg(path_);
    cfg.WriteFlag("main", "AutoScan", true);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_TRUE(cfg.ReadFlag("main", "AutoScan", false));
}

TEST_F(ConfigFileTest, RelativeNameFollowsCurrentDirectory) {
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    ConfigFile cfg("./cfg.ini");
    cfg.WriteText("form", "NormPos", "10,20,810,620");
    EXPECT_EQ(cfg.ReadText("form", "NormPos", ""), "10,20,810,620");
    fs::current_path(before);
    EXPECT_EQ(contents(), "[form]\nNormPos=10,20,810,620\n");
    EXPECT_EQ(filesInDir(), 1u);
}

TEST_F(ConfigFileTest, WriteFailuresRaiseUnableToWrite) {
    // Cases that stop root as well as anyone else.
    fs::create_directory(path_); // cfg.ini is a folder
    const std::string tooLong = (dir_ / std::string(300, 'x')).string();
    fs::create_symlink("/dev/null", dir_ / "devnull.ini");
    const std::string paths[] = {path_, "/proc/ormix-cfg.ini", tooLong, (dir_ / "devnull.ini").string(),
                                 (dir_ / "missing-dir" / "cfg.ini").string()};
    for (const auto& p : paths) {
        ConfigFile cfg(p);
        EXPECT_EQ(cfg.ReadNumber("main", "MaxAddThrds", 6), 6) << p;
        try {
            cfg.WriteText("main", "iprange", "1.2.3.4");
            ADD_FAILURE() << "no error for " << p;
        } catch (const ConfigWriteError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + p);
        }
        EXPECT_THROW(cfg.WriteNumber("main", "x", 1), ConfigWriteError) << p;
        EXPECT_THROW(cfg.WriteFlag("main", "x", true), ConfigWriteError) << p;
        EXPECT_NO_THROW(cfg.RemoveKey("main", "iprange")) << p;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(filesInDir(), 2u) << "only the cfg.ini folder and the link: no temporary file stays";
}

TEST_F(ConfigFileTest, ReadOnlyFileIsNotReplaced) {
    put("[main]\nAutoScan=0\n[ProgIndex]\n5=a\n");
    fs::permissions(path_, fs::perms::owner_read);
    ConfigFile cfg(path_);
    EXPECT_THROW(cfg.WriteFlag("main", "AutoScan", true), ConfigWriteError);
    EXPECT_THROW(cfg.ClearSection("ProgIndex"), ConfigWriteError);
    EXPECT_NO_THROW(cfg.RemoveKey("ProgIndex", "5"));
    EXPECT_EQ(contents(), "[main]\nAutoScan=0\n[ProgIndex]\n5=a\n");
}

// A batch lands in one rewrite: in order, all or none, and not at all when it changes nothing.
TEST_F(ConfigFileTest, EditAppliesInOneRewrite) {
    put("[main]\nAutoScan=0\nold=1\n[ProgIndex]\n5=a\n");
    ConfigFile cfg(path_);
    struct stat before {};
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);

    ConfigEdit edit;
    EXPECT_TRUE(edit.empty());
    edit.WriteFlag("main", "AutoScan", true);
    edit.WriteNumber("main", "MaxAddThrds", 6);
    edit.RemoveKey("main", "old");
    edit.ClearSection("ProgIndex");
    edit.WriteText("ProgIndex", "5", "b"); // after the clear: the section comes back
    EXPECT_FALSE(edit.empty());
    cfg.Apply(edit);
    EXPECT_EQ(contents(), "[main]\nAutoScan=1\nMaxAddThrds=6\n\n[ProgIndex]\n5=b\n");
    struct stat after {};
    ASSERT_EQ(::stat(path_.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced through a new file";

    // Nothing to change: same inode, no rewrite.
    ConfigEdit same;
    same.WriteFlag("main", "AutoScan", true);
    same.RemoveKey("main", "missing");
    same.ClearSection("missing");
    cfg.Apply(same);
    cfg.Apply(ConfigEdit{});
    struct stat untouched {};
    ASSERT_EQ(::stat(path_.c_str(), &untouched), 0);
    EXPECT_EQ(untouched.st_ino, after.st_ino);

    // One bad key fails the whole edit and leaves the file whole.
    ConfigEdit bad;
    bad.WriteText("main", "good", "1");
    bad.WriteText("main", "a=b", "1");
    EXPECT_THROW(cfg.Apply(bad), ConfigWriteError);
    EXPECT_EQ(contents(), "[main]\nAutoScan=1\nMaxAddThrds=6\n\n[ProgIndex]\n5=b\n");
    EXPECT_EQ(filesInDir(), 1u);
}

// Writers on distinct keys, readers through the accessor and a reader that
// opens the file directly: nobody ever sees a torn file, nothing is lost.
TEST_F(ConfigFileTest, ManyThreadsNeverSeeATornFile) {
    ConfigFile cfg(path_);
    cfg.WriteText("main", "sentinel", "present");
    constexpr int kWriters = 6;
    constexpr int kKeys = 30;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> rawReads{0};

    std::thread rawReader([&] {
        while (!done) {
            std::ifstream in(path_, std::ios::binary);
            std::stringstream ss;
            ss << in.rdbuf();
            const std::string text = ss.str();
            if (!text.starts_with("[main]\nsentinel=present\n") || text.back() != '\n')
                ++torn;
            ++rawReads;
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            const std::string section = w % 2 ? "main" : "Thread" + std::to_string(w);
            for (int k = 0; k < kKeys; ++k) {
                const std::string key = "w" + std::to_string(w) + "k" + std::to_string(k);
                cfg.WriteNumber(section, key, w * 1000 + k);
                if (cfg.ReadText("main", "sentinel", "") != "present" ||
                    cfg.ReadNumber(section, key, -1) != w * 1000 + k)
                    ++torn;
            }
        });
    }
    for (auto& t : writers)
        t.join();
    done = true;
    rawReader.join();

    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(rawReads.load(), 0);
    for (int w = 0; w < kWriters; ++w) {
        const std::string section = w % 2 ? "main" : "Thread" + std::to_string(w);
        for (int k = 0; k < kKeys; ++k)
            EXPECT_EQ(cfg.ReadNumber(section, "w" + std::to_string(w) + "k" + std::to_string(k), -1),
                      w * 1000 + k);
    }
    std::vector<std::string> keys;
    cfg.ListKeys("main", keys);
    EXPECT_EQ(keys.size(), 1u + kKeys * kWriters / 2);
    EXPECT_EQ(filesInDir(), 1u);
}

} // namespace

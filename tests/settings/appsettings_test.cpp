// Section "main" as one value: real cfg.ini files load as expected and, saved
// back unchanged, keep every byte; a change rewrites only its own keys.
#include "settings/appsettings.h"

#include "fixtures/files.h"
#include "scan/scanner.h"
#include "settings/configfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace ormix;
using ormix::testing::readFile;
using ormix::testing::writeFile;
namespace fs = std::filesystem;

namespace {

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ormix-appsettings-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "cfg.ini").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
    std::string path_;
};

// The cfg.ini that tools/testlan writes into its demo folder, taken from the
// script itself so that the two cannot drift apart.
std::string demoLanConfig() {
    const char* source = std::getenv("ORMIX_SOURCE_DIR");
    if (!source)
        return {};
    const std::string script = readFile(std::string(source) + "/tools/testlan");
    const std::string mark = "printf '[main]";
    const size_t start = script.find(mark);
    if (start == std::string::npos)
        return {};
    const size_t end = script.find('\'', start + 8);
    std::string format = script.substr(start + 8, end - start - 8);
    std::string text;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format.compare(i, 2, "\\n") == 0) {
            text += '\n';
            ++i;
        } else if (format.compare(i, 2, "%d") == 0) {
            text += "15"; // the last address of the five demo hosts
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

AppSettings with(std::vector<std::string> ranges, bool count, bool hideEmpty, bool autoScan, int interval,
                 bool group, std::string exclude = {}) {
    AppSettings s;
    s.ranges = std::move(ranges);
    s.showShareCount = count;
    s.hideEmptyHosts = hideEmpty;
    s.autoScan = autoScan;
    s.autoScanInterval = interval;
    s.groupByWorkgroup = group;
    s.excludeText = std::move(exclude);
    return s;
}

TEST_F(AppSettingsTest, RealFilesLoadAsExpectedAndSaveBackByteForByte) {
    const std::string demo = demoLanConfig();
    ASSERT_FALSE(demo.empty()) << "tools/testlan no longer writes a demo cfg.ini the test can find";

    AppSettings tuned = with({"127.0.2.1-254", "127.0.3.1-10"}, true, true, true, 300, false, "IPC$,print$");
    tuned.maxShareWorkers = 3;
    tuned.maxSearchWorkers = 12;
    tuned.selectTimeoutSeconds = 1;
    tuned.selectTimeoutMicroseconds = 500000;

    AppSettings methodsAndIndex = with({"127.0.5.1-9"}, false, false, false, 60, false);
    methodsAndIndex.scanNetbios = false;
    methodsAndIndex.scanRetries = 2;
    methodsAndIndex.indexShares = true;
    methodsAndIndex.indexWalks = 8;
    methodsAndIndex.indexDb = "postgresql://ormix@/office";

    AppSettings netbiosOnly;
    netbiosOnly.scanSmb = false;
    netbiosOnly.scanWsd = false;
    netbiosOnly.scanRetries = 2;

    struct Case {
        const char* what;
        std::string bytes;
        AppSettings expected;
    };
    const std::vector<Case> cases = {
        {"the demo LAN's file", demo, with({"127.0.0.10-15"}, true, false, false, 60, true)},
        {"a file as the settings window writes it, with the window placement after it",
         "[main]\niprange=127.0.2.1-254,127.0.3.1-10\nShowResCount=1\nExcludeRes=IPC$,print$\nEmptyRes=1\n"
         "AutoScan=1\nAutoScanInterval=300\nGroupByWrkGrp=0\nMaxAddThrds=3\nMaxIndexThrds=12\n"
         "select_timeout_sec=1\nselect_timeout_usec=500000\n[form]\nFormVersion=0\nFlags=0\nShowCmd=1\n"
         "PixelsPerInch=96\nMinMaxPos=-1,-1,-1,-1\nNormPos=10,10,612,502\nVisible=0\n",
         tuned},
        {"hand-edited: CR LF, comments, blanks around names, a hexadecimal number, a duplicate key",
         "; written by hand\r\n[Main]\r\n  ShowResCount = 1 \r\nAutoScanInterval=$3C\r\nautoscan=1\r\n"
         "AutoScan=0\r\n\r\niprange= 127.0.4.1-20 \r\n",
         with({"127.0.4.1-20"}, true, false, true, 60, false)},
        {"code page 1251 from an older installation",
         std::string("[main]\r\nExcludeRes=\xC0\xF0\xF5\xE8\xE2,IPC$\r\nEmptyRes=1\r\n"),
         with({}, false, true, false, 60, false, "Архив,IPC$")},
        {"no file section at all", "[other]\nkey=value\n", AppSettings{}},
        {"the scan methods and the share index",
         "[main]\niprange=127.0.5.1-9\nScanNetbios=0\nScanSmb=1\nscan_retries=2\nIndexShares=1\nIndexWalks="
         "8\n"
         "IndexDb=postgresql://ormix@/office\n",
         methodsAndIndex},
        {"every method off and too many retries: NetBIOS alone and 2 retries, the file as it is",
         "[main]\nScanNetbios=0\nScanSmb=0\nScanWsd=0\nscan_retries=7\n", netbiosOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(path_, c.bytes);
        ConfigFile file(path_);
        const AppSettings loaded = loadAppSettings(file);
        EXPECT_EQ(loaded, c.expected);
        saveAppSettings(file, loaded);
        EXPECT_EQ(readFile(path_), c.bytes);
    }
}

TEST_F(AppSettingsTest, MissingFileGivesTheDefaultsAndAnUnchangedSaveCreatesNothing) {
    ConfigFile file(path_);
    const AppSettings loaded = loadAppSettings(file);
    EXPECT_EQ(loaded, AppSettings{});
    EXPECT_EQ(loaded.maxShareWorkers, 6);
    EXPECT_EQ(loaded.selectTimeoutSeconds, 4);
    EXPECT_EQ(loaded.selectTimeoutMicroseconds, 10);
    saveAppSettings(file, loaded);
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(AppSettingsTest, AChangeWritesTheEditedKeysInOneSaveAndKeepsTheRest) {
    writeFile(path_,
              "; mine\n[main]\niprange=127.0.0.1-5\nShowResCount = 1\nMaxAddThrds=2\n[form]\nShowCmd=1\n");
    ConfigFile file(path_);
    AppSettings s = loadAppSettings(file);
    s.ranges = {"127.0.0.1-5", "127.0.1.1-9"};
    s.groupByWorkgroup = true;
    s.excludeText = "C$";
    saveAppSettings(file, s);
    EXPECT_EQ(readFile(path_),
              "; mine\n[main]\niprange=127.0.0.1-5,127.0.1.1-9\nShowResCount = 1\nMaxAddThrds=2\n"
              "ExcludeRes=C$\nEmptyRes=0\nAutoScan=0\nAutoScanInterval=60\nGroupByWrkGrp=1\n"
              "ScanNetbios=1\nScanSmb=1\nScanWsd=1\nscan_retries=1\nIndexShares=0\nIndexWalks=4\nIndexDb=\n"
              "[form]\nShowCmd=1\n"); // changed and missing keys; ShowResCount keeps its spelling
    EXPECT_EQ(loadAppSettings(file), s);
    EXPECT_EQ(s.excludedShares(), std::vector<std::string>{"C$"});
}

} // namespace

// The main window's placement in section "form": the text forms, the rules for
// applying a stored placement, and the round trip through cfg.ini.
#include "shell_test_util.h"

#include "gui/application.h"
#include "gui/placement.h"
#include "platform/atomicfile.h"
#include "settings/configfile.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ormix::test {
namespace {

TEST(SplitPlacementNumbers, TakesFourNumbersAtCommasOrBlanks) {
    const PlacementRect d{11, 12, 13, 14};
    const struct {
        const char* text;
        PlacementRect expected;
    } cases[] = {
        {"1,2,3,4", {1, 2, 3, 4}},     {"1 2 3 4", {1, 2, 3, 4}},   {" 1, 2 ,3  ,4 ", {1, 2, 3, 4}},
        {"-5,-6,7,8", {-5, -6, 7, 8}}, {"", {11, 12, 13, 14}},      {"1,2", {1, 2, 13, 14}},
        {"1,x,3,4", {1, 12, 3, 4}},    {"1,2,3,4,5", {1, 2, 3, 4}}, {"99999999999,2,3,4", {11, 2, 3, 4}},
        {"1.5,2,3,4", {11, 2, 3, 4}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitPlacementNumbers(c.text, d), c.expected) << '"' << c.text << '"';
}

class FormSection : public InTempFolder {};

TEST_F(FormSection, WritesTheKeysInOrderAndTheirTextForms) {
    ConfigFile file(path("cfg.ini").toStdString());
    FormPlacement p;
    p.ShowCmd = 2;
    p.PixelsPerInch = 96;
    p.NormPos = {100, 120, 740, 620};
    WriteFormPlacement(file, p);

    std::vector<std::string> keys;
    file.ListKeys("form", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"FormVersion", "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos",
                                              "NormPos", "Visible"}));
    const std::pair<const char*, const char*> texts[] = {
        {"FormVersion", "0"},
        {"Flags", "0"},
        {"ShowCmd", "2"},
        {"PixelsPerInch", "96"},
        {"MinMaxPos", "-1,-1,-1,-1"},
        {"NormPos", "100,120,740,620"},
        {"Visible", "0"},
    };
    for (const auto& [key, text] : texts)
        EXPECT_EQ(file.ReadText("form", key, "?"), text) << key;
}

TEST_F(FormSection, AppliesAStoredPlacementOnlyWhenItFits) {
    const PlacementRect current{50, 60, 652, 552};
    using Keys = std::vector<std::pair<const char*, const char*>>;
    const struct {
        const char* what;
        Keys keys;
        std::optional<PlacementRect> expected;
    } cases[] = {
        {"nothing stored", {}, std::nullopt},
        {"all keys",
         {{"PixelsPerInch", "96"}, {"NormPos", "100,120,740,620"}},
         PlacementRect{100, 120, 740, 620}},
        {"blanks between",
         {{"PixelsPerInch", "96"}, {"NormPos", "100 120 740 620"}},
         PlacementRect{100, 120, 740, 620}},
        {"two numbers", {{"NormPos", "100,120"}}, PlacementRect{100, 120, 652, 552}},
        {"bad number", {{"NormPos", "a,120,740,620"}}, PlacementRect{50, 120, 740, 620}},
        {"only MinMaxPos", {{"MinMaxPos", "-1,-1,-1,-1"}}, current},
        {"left after right", {{"NormPos", "740,120,100,620"}}, std::nullopt},
        {"left equals right", {{"NormPos", "100,120,100,620"}}, std::nullopt},
        {"other resolution", {{"PixelsPerInch", "120"}, {"NormPos", "100,120,740,620"}}, std::nullopt},
        {"version below 0", {{"FormVersion", "-1"}, {"NormPos", "100,120,740,620"}}, std::nullopt},
        {"later version",
         {{"FormVersion", "3"}, {"NormPos", "100,120,740,620"}},
         PlacementRect{100, 120, 740, 620}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path("cfg.ini"));
        ConfigFile file(path("cfg.ini").toStdString());
        for (const auto& [key, value] : c.keys)
            file.WriteText("form", key, value);
        EXPECT_EQ(ReadFormPlacement(file, 96, current), c.expected);
    }
}

class WindowPlacement : public InTempFolder {
protected:
    static int screenPpi() { return qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()); }
    static ConfigFile form() { return ConfigFile("./cfg.ini"); }
};

TEST_F(WindowPlacement, ClosePlacementComesBackAtTheNextShow) {
    {
        TestMainDlg first;
        first.show();
        first.setGeometry(100, 120, 640, 500);
        const std::uint64_t rewritesBefore = replacementsDone();
        EXPECT_FALSE(first.close()); // refused, hidden into the tray, placement written
        EXPECT_EQ(replacementsDone() - rewritesBefore, 1u) << "the seven keys in one rewrite of cfg.ini";
    }
    EXPECT_EQ(form().ReadText("form", "NormPos", ""), "100,120,740,620");
    EXPECT_EQ(form().ReadNumber("form", "ShowCmd", -1), 1);
    EXPECT_EQ(form().ReadNumber("form", "PixelsPerInch", -1), screenPpi());
    EXPECT_EQ(form().ReadText("form", "Visible", ""), "0"); // nothing more written at destruction

    TestMainDlg second;
    second.show();
    EXPECT_EQ(second.geometry(), QRect(100, 120, 640, 500));
}

TEST_F(WindowPlacement, FirstStartIsCentredAndUnfitPlacementsAreNotApplied) {
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    const struct {
        const char* what;
        int ppi;
        const char* normPos;
        QSize size;
    } cases[] = {
        {"no cfg.ini", 0, nullptr, QSize(602, 492)},
        {"other resolution", screenPpi() + 24, "100,120,740,620", QSize(602, 492)},
        {"position off every screen", screenPpi(), "20000,20000,20640,20500", QSize(640, 500)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path("cfg.ini"));
        if (c.normPos) {
            ConfigFile file = form();
            file.WriteNumber("form", "PixelsPerInch", c.ppi);
            file.WriteText("form", "NormPos", c.normPos);
        }
        TestMainDlg dlg;
        dlg.show();
        EXPECT_EQ(dlg.size(), c.size);
        EXPECT_LE((dlg.geometry().center() - centre).manhattanLength(), 2);
    }
}

TEST_F(WindowPlacement, DestructionWritesWhenNothingWasWritten) {
    {
        TestMainDlg dlg;
        dlg.show();
        dlg.HideIntoTray(); // hidden, never closed
    }
    EXPECT_EQ(form().ReadText("form", "Visible", ""), "1");
    EXPECT_EQ(form().ReadNumber("form", "ShowCmd", -1), 2);
}

// A cfg.ini that cannot be written (here: a folder of that name, which stops
// root too) is reported, and the close still hides or quits.
TEST_F(WindowPlacement, UnwritableFileIsReportedAndTheCloseGoesOn) {
    ASSERT_TRUE(QDir().mkdir(path("cfg.ini")));
    QStringList reports;
    const ErrorReporter previous = SetErrorReporter([&](const QString& text) { reports << text; });

    TestMainDlg dlg;
    dlg.show();
    EXPECT_FALSE(dlg.close());
    EXPECT_FALSE(dlg.isVisible());
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports[0], "Unable to write to ./cfg.ini");

    QTimer::singleShot(0, dlg.trayQuitAction_, &QAction::trigger);
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(reports.size(), 2);

    SetErrorReporter(previous);
}

} // namespace
} // namespace ormix::test

// The settings window: loading, the range list editing, save and cancel, the
// dependent controls, "range.txt", and a save that cannot write cfg.ini.
#include "gui/appstate.h"
#include "gui/discoverymethodsbox.h"
#include "gui/numberfield.h"
#include "gui/settingswindow.h"
#include "settings/configfile.h"
#include "settings/rangefile.h"

#include "fixtures/files.h"
#include "qtapp.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace ormix {
namespace {

using ormix::testing::readFile;
using ormix::testing::writeFile;

QStringList listLines(const SettingsWindow& form) {
    QStringList lines;
    for (int i = 0; i < form.AdressesList->count(); ++i)
        lines << form.AdressesList->item(i)->text();
    return lines;
}

// Each test runs in its own folder (cfg.ini and range.txt live there) with a
// window on the shared settings, loaded first as the program does.
class SetupFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        oldDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        cfgPath_ = dir_.filePath(QStringLiteral("cfg.ini")).toStdString();
        config_ = std::make_unique<ConfigFile>(cfgPath_);
    }
    void TearDown() override {
        form_.reset();
        QDir::setCurrent(oldDir_);
    }

    SettingsWindow& makeForm() {
        state_ = std::make_unique<AppState>(cfgPath_, dir_.path().toStdString() + "/");
        QObject::connect(state_.get(), &AppState::settingsChanged, [this] { ++loads_; });
        state_->reloadSettings();
        SetupHost host;
        host.OpenHelpTopic = [this](int topic) { topics_.push_back(topic); };
        form_ = std::make_unique<SettingsWindow>(*state_, host);
        form_->ShowMessage = [this](const QString& text) { messages_ << text; };
        return *form_;
    }

    // The settings in force, as the main window reads them.
    const AppSettings& settings() const { return state_->settings(); }
    std::vector<std::string> scanRanges() const { return settings().ranges; }

    QTemporaryDir dir_;
    QString oldDir_;
    std::string cfgPath_;
    std::unique_ptr<ConfigFile> config_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<SettingsWindow> form_;
    int loads_ = 0;
    std::vector<int> topics_;
    QStringList messages_;
};

TEST_F(SetupFormTest, LoadsDefaultsWithoutAFile) {
    SettingsWindow& f = makeForm();
    EXPECT_EQ(loads_, 1); // the window itself does not load
    EXPECT_TRUE(scanRanges().empty());
    EXPECT_FALSE(settings().showShareCount);
    EXPECT_FALSE(settings().hideEmptyHosts);
    EXPECT_FALSE(settings().autoScan);
    EXPECT_FALSE(settings().groupByWorkgroup);
    EXPECT_EQ(settings().autoScanInterval, 60);
    EXPECT_TRUE(settings().excludedShares().empty());
    EXPECT_EQ(f.AdressesList->count(), 0);
    EXPECT_FALSE(f.ResCntCheck->isChecked());
    EXPECT_FALSE(f.EmtyResCheck->isEnabled());
    EXPECT_FALSE(f.Interval->isEnabled());
    EXPECT_EQ(f.Interval->value(), 60);
    EXPECT_EQ(f.MethodsBox->title(), "Способы поиска компьютеров");
    EXPECT_TRUE(f.MethodsBox->NetbiosCheck->isChecked());
    EXPECT_TRUE(f.MethodsBox->SmbCheck->isChecked());
    EXPECT_TRUE(f.MethodsBox->WsdCheck->isEnabled());
    EXPECT_TRUE(f.MethodsBox->WsdCheck->isChecked());
    EXPECT_EQ(f.MethodsBox->RetryCount->value(), 1);
    EXPECT_FALSE(std::filesystem::exists(cfgPath_)); // loading never writes
}

TEST_F(SetupFormTest, LoadsEveryKeyIntoTheSettingsListAndControls) {
    writeFile(cfgPath_, "[main]\n"
                        "iprange=192.168.0.1-254,\"10.0.0.1-5\"\n"
                        "ShowResCount=2\n"
                        "EmptyRes=1\n"
                        "ExcludeRes=ADMIN$, C$ \"My Music\"\n"
                        "AutoScan=1\n"
                        "AutoScanInterval=3\n"
                        "GroupByWrkGrp=1\n");
    SettingsWindow& f = makeForm();
    EXPECT_EQ(scanRanges(), (std::vector<std::string>{"192.168.0.1-254", "10.0.0.1-5"}));
    EXPECT_EQ(listLines(f), (QStringList{"192.168.0.1-254", "10.0.0.1-5"}));
    EXPECT_TRUE(settings().showShareCount);
    EXPECT_TRUE(settings().hideEmptyHosts);
    EXPECT_TRUE(settings().autoScan);
    EXPECT_TRUE(settings().groupByWorkgroup);
    EXPECT_EQ(settings().excludedShares(), (std::vector<std::string>{"ADMIN$", "C$", "My Music"}));
    EXPECT_EQ(settings().excludeText, "ADMIN$, C$ \"My Music\"");
    EXPECT_EQ(f.ExclRes->text(), QString::fromUtf8("ADMIN$, C$ \"My Music\""));
    // The field shows the interval within its bounds; the main window keeps it as read.
    EXPECT_EQ(settings().autoScanInterval, 3);
    EXPECT_EQ(f.Interval->value(), 5);
    EXPECT_TRUE(f.ResCntCheck->isChecked());
    EXPECT_TRUE(f.EmtyResCheck->isChecked());
    EXPECT_TRUE(f.EmtyResCheck->isEnabled());
    EXPECT_TRUE(f.AutoScanCheck->isChecked());
    EXPECT_TRUE(f.Interval->isEnabled());
    EXPECT_TRUE(f.intervalLabel_->isEnabled());
    EXPECT_TRUE(f.GroupCheck->isChecked());
}

TEST_F(SetupFormTest, AddMakesOneLinePerThirdOctet) {
    struct Case {
        int fromOctet1, fromOctet2, fromOctet3, fromOctet4, toOctet3, toOctet4;
        QStringList lines;
    };
    const Case cases[] = {
        {192, 168, 0, 1, 2, 254, {"192.168.0.1-254", "192.168.1.1-254", "192.168.2.1-254"}},
        {10, 0, 5, 1, 5, 20, {"10.0.5.1-20"}},
        {10, 0, 5, 1, 4, 20, {}},                // last third octet below the first: nothing
        {10, 0, 7, 30, 7, 10, {"10.0.7.30-10"}}, // no check of the fourth octets
    };
    SettingsWindow& f = makeForm();
    for (const Case& c : cases) {
        f.AdressesList->clear();
        f.fromOctet1_->setValue(c.fromOctet1);
        f.fromOctet2_->setValue(c.fromOctet2);
        f.fromOctet3_->setValue(c.fromOctet3);
        f.fromOctet4_->setValue(c.fromOctet4);
        f.toOctet3_->setValue(c.toOctet3);
        f.toOctet4_->setValue(c.toOctet4);
        f.addRangeButton_->click();
        EXPECT_EQ(listLines(f), c.lines) << c.fromOctet3 << ".." << c.toOctet3;
    }
    EXPECT_TRUE(scanRanges().empty()); // the list in force changes only on save
}

TEST_F(SetupFormTest, TypedOctetsAreMirroredAndKeptWithinBounds) {
    SettingsWindow& f = makeForm();
    f.show();
    for (auto [field, text] :
         {std::pair{f.fromOctet1_, "192"}, {f.fromOctet2_, "168"}, {f.fromOctet3_, "3"}}) {
        field->selectAll();
        QTest::keyClicks(field, text);
    }
    EXPECT_EQ(f.toOctet1_->text(), "192");
    EXPECT_EQ(f.toOctet2_->text(), "168");
    EXPECT_EQ(f.toOctet3_->text(), "3");
    // toOctet3_ stays editable for a higher last third octet.
    f.toOctet3_->selectAll();
    QTest::keyClicks(f.toOctet3_, "4");
    EXPECT_EQ(f.fromOctet3_->value(), 3);

    // A value above the bound can be typed and becomes the bound when committed.
    f.toOctet4_->selectAll();
    QTest::keyClicks(f.toOctet4_, "300");
    EXPECT_EQ(f.toOctet4_->CommittedValue(), 255);
    EXPECT_EQ(f.toOctet4_->text(), "255");
    f.fromOctet4_->selectAll();
    QTest::keyClicks(f.fromOctet4_, "-1x");
    EXPECT_EQ(f.fromOctet4_->text(), "1"); // no sign, no letters
    f.AutoScanCheck->setChecked(true);
    f.Interval->selectAll();
    QTest::keyClicks(f.Interval, "2");
    EXPECT_EQ(f.Interval->CommittedValue(), 5);

    f.addRangeButton_->click();
    EXPECT_EQ(listLines(f), (QStringList{"192.168.3.1-255", "192.168.4.1-255"}));
}

TEST_F(SetupFormTest, DeleteRemovesTheSelectedLineOnly) {
    writeFile(cfgPath_, "[main]\niprange=a-1,b-2,c-3\n");
    SettingsWindow& f = makeForm();
    f.show();
    f.activateWindow();
    f.AdressesList->setFocus(); // focus alone marks a current row but selects nothing
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    ASSERT_TRUE(f.AdressesList->hasFocus());
    QTest::mouseClick(f.deleteRangeButton_, Qt::LeftButton);
    EXPECT_EQ(listLines(f), (QStringList{"a-1", "b-2", "c-3"}));
    f.AdressesList->setCurrentRow(1);
    f.deleteRangeButton_->click();
    EXPECT_EQ(listLines(f), (QStringList{"a-1", "c-3"}));
}

TEST_F(SetupFormTest, SaveWritesTheKeysInOrderThenReloads) {
    SettingsWindow& f = makeForm();
    f.show();
    f.fromOctet1_->setValue(192);
    f.fromOctet2_->setValue(168);
    f.fromOctet3_->setValue(0);
    f.fromOctet4_->setValue(1);
    f.toOctet3_->setValue(0);
    f.toOctet4_->setValue(3);
    f.addRangeButton_->click();
    f.AdressesList->addItem("a b"); // blanks are quoted in the list encoding
    QTest::mouseClick(f.ResCntCheck, Qt::LeftButton);
    f.EmtyResCheck->setChecked(true);
    f.ExclRes->setText("ADMIN$, C$");
    f.AutoScanCheck->setChecked(true);
    f.Interval->setValue(120);
    f.MethodsBox->WsdCheck->setChecked(false);
    f.MethodsBox->SmbCheck->setChecked(false);
    f.MethodsBox->NetbiosCheck->setChecked(false); // the last method stays on
    f.MethodsBox->RetryCount->setValue(2);
    f.IndexCheck->setChecked(true);
    f.IndexWalks->setValue(3);
    f.IndexDb->setText(" postgresql://ormix@/office?host=/run/postgresql ");
    const int loadsBefore = loads_;

    f.saveButton_->click();

    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join("|").toStdString();
    EXPECT_EQ(readFile(cfgPath_), "[main]\n"
                                  "iprange=192.168.0.1-3,\"a b\"\n"
                                  "ShowResCount=1\n"
                                  "ExcludeRes=ADMIN$, C$\n"
                                  "EmptyRes=1\n"
                                  "AutoScan=1\n"
                                  "AutoScanInterval=120\n"
                                  "GroupByWrkGrp=0\n"
                                  "ScanNetbios=1\n"
                                  "ScanSmb=0\n"
                                  "ScanWsd=0\n"
                                  "scan_retries=2\n"
                                  "IndexShares=1\n"
                                  "IndexWalks=3\n"
                                  "IndexDb=postgresql://ormix@/office?host=/run/postgresql\n");
    EXPECT_EQ(loads_, loadsBefore + 1);
    EXPECT_TRUE(f.IndexCheck->isChecked());
    EXPECT_EQ(f.IndexWalks->value(), 3);
    EXPECT_EQ(scanRanges(), (std::vector<std::string>{"192.168.0.1-3", "a b"}));
    EXPECT_EQ(settings().excludedShares(), (std::vector<std::string>{"ADMIN$", "C$"}));
    EXPECT_TRUE(settings().showShareCount);
    EXPECT_TRUE(settings().autoScan);
    EXPECT_EQ(settings().autoScanInterval, 120);
    // range.txt lists the ranges just saved; "a b" is no dash range and adds nothing.
    EXPECT_EQ(readFile("range.txt"), "16820416\r\n33597632\r\n50374848\r\n");
}

TEST_F(SetupFormTest, CancelWritesNothingAndTheNextShowingReloads) {
    writeFile(cfgPath_, "[main]\niprange=10.0.0.1-5\n");
    SettingsWindow& f = makeForm();
    f.show();
    f.AdressesList->addItem("10.0.1.1-5");
    f.ResCntCheck->setChecked(true);
    f.fromOctet1_->setValue(7);
    f.cancelButton_->click();
    EXPECT_EQ(f.result(), QDialog::Rejected);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(readFile(cfgPath_), "[main]\niprange=10.0.0.1-5\n");
    EXPECT_FALSE(std::filesystem::exists("range.txt"));

    f.show();
    EXPECT_EQ(listLines(f), (QStringList{"10.0.0.1-5"}));
    EXPECT_FALSE(f.ResCntCheck->isChecked());
    EXPECT_EQ(f.fromOctet1_->value(), 7); // the octet fields keep what was typed
}

TEST_F(SetupFormTest, DependentControlsFollowTheirCheckBoxes) {
    writeFile(cfgPath_, "[main]\nShowResCount=1\nEmptyRes=1\n");
    SettingsWindow& f = makeForm();
    f.show();
    ASSERT_TRUE(f.EmtyResCheck->isEnabled());
    QTest::mouseClick(f.ResCntCheck, Qt::LeftButton);
    EXPECT_FALSE(f.EmtyResCheck->isEnabled());
    EXPECT_TRUE(f.EmtyResCheck->isChecked()); // the tick stays...

    ASSERT_FALSE(f.Interval->isEnabled());
    QTest::mouseClick(f.AutoScanCheck, Qt::LeftButton);
    EXPECT_TRUE(f.Interval->isEnabled());
    EXPECT_TRUE(f.intervalLabel_->isEnabled());
    EXPECT_TRUE(f.secondsLabel_->isEnabled());
    f.AutoScanCheck->setFocus();
    QTest::keyClick(f.AutoScanCheck, Qt::Key_Space); // the keyboard works the same
    EXPECT_FALSE(f.Interval->isEnabled());
    EXPECT_FALSE(f.secondsLabel_->isEnabled());

    f.saveButton_->click();
    EXPECT_EQ(config_->ReadText("main", "EmptyRes", "?"), "1"); // ...and is saved
    EXPECT_EQ(config_->ReadText("main", "ShowResCount", "?"), "0");
}

TEST_F(SetupFormTest, AFailingWriteStopsTheSaveAndKeepsTheWindowOpen) {
    // A cfg.ini that cannot be replaced, even by root: its path is a folder.
    const std::string badPath = dir_.filePath("sub/cfg.ini").toStdString();
    std::filesystem::create_directories(badPath);
    AppState bad(badPath, dir_.path().toStdString() + "/");
    QObject::connect(&bad, &AppState::settingsChanged, [this] { ++loads_; });
    SettingsWindow f(bad, {});
    f.ShowMessage = [this](const QString& text) { messages_ << text; };
    QSignalSpy finished(&f, &QDialog::finished);
    f.show();
    f.AdressesList->addItem("10.0.1.1-5");
    const int loadsBefore = loads_;

    f.saveButton_->click();

    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_.front().toStdString(), "Unable to write to " + badPath);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(loads_, loadsBefore); // no reload
    EXPECT_TRUE(bad.settings().ranges.empty());
    EXPECT_EQ(f.AdressesList->count(), 1); // the edit is still there to retry
    EXPECT_FALSE(std::filesystem::exists("range.txt"));
}

TEST_F(SetupFormTest, AListTooLongForTheFileIsNotSaved) {
    SettingsWindow& f = makeForm();
    f.show();
    for (int i = 0; i < 130; ++i) // 130 x "192.168.NNN.1-254," > 2047 characters
        f.AdressesList->addItem(QStringLiteral("192.168.%1.1-254").arg(i));
    f.saveButton_->click();
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_.front().contains("2047"));
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(std::filesystem::exists(cfgPath_));

    while (f.AdressesList->count() > 100)
        delete f.AdressesList->item(0);
    f.saveButton_->click(); // 100 lines fit
    EXPECT_EQ(scanRanges().size(), 100u);
    EXPECT_EQ(scanRanges().back(), "192.168.129.1-254");
}

TEST_F(SetupFormTest, HelpButtonsAndF1OpenTheirTopics) {
    SettingsWindow& f = makeForm();
    f.show();
    f.shareCountHelpButton_->click();
    f.excludeHelpButton_->click();
    QTest::keyClick(f.ExclRes, Qt::Key_F1);
    EXPECT_EQ(topics_, (std::vector<int>{30, 12, 12}));
}

TEST_F(SetupFormTest, ControlsCarryTheirTextsAndHints) {
    SettingsWindow& f = makeForm();
    EXPECT_EQ(f.windowTitle(), "Setup");
    EXPECT_GE(f.width(), 286);
    EXPECT_GE(f.height(), 396);
    struct Row {
        QWidget* w;
        const char* name;
        QString text;
        QString hint;
    };
    const Row rows[] = {
        {f.addRangeButton_, "RxSpeedButton1", " Добавить", "Добавить диапазон адресов в список"},
        {f.deleteRangeButton_, "RxSpeedButton2", " Удалить", "Удалить текущую строку из спсиска"},
        {f.GroupCheck, "GroupCheck", "Группировать компьютеры по рабочим группам",
         "Группировка найденных компьютеров по рабочим группам в которых они находятся"},
        {f.ResCntCheck, "ResCntCheck", "Показывать кол-во ресурсов",
         "Если отключить то скорость сканирования будет выше!"},
        {f.EmtyResCheck, "EmtyResCheck", "Не отображать компьютеры без ресурсов",
         "Если отключить то скорость сканирования будет выше!"},
        {f.AutoScanCheck, "AutoScanCheck", "Автоматическое сканирование: ", ""},
        {f.shareCountHelpButton_, "RxSpeedButton6", "?", "Справка"},
        {f.excludeHelpButton_, "RxSpeedButton5", "?", "Справка"},
        {f.saveButton_, "RxSpeedButton3", "Сохранить", ""},
        {f.cancelButton_, "RxSpeedButton4", "Отмена", ""},
        {f.rangeLabel_, "Label4", "Диапазон адресов для сканирования", ""},
        {f.intervalLabel_, "Label2", "интервал", ""},
        {f.secondsLabel_, "Label5", "сек.", ""},
        {f.excludeLabel_, "Label1", "Не отображать следующие ресурсы (через запятую)", ""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.w->objectName(), r.name);
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(r.w))
            text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(r.w))
            text = l->text();
        EXPECT_EQ(text, r.text) << r.name;
        EXPECT_EQ(r.w->toolTip(), r.hint) << r.name;
    }
    EXPECT_EQ(f.ExclRes->maxLength(), 256);
    EXPECT_EQ(f.toOctet1_->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(f.toOctet2_->isReadOnly());
    EXPECT_EQ(f.Interval->minimum(), 5);
    EXPECT_EQ(f.Interval->maximum(), 6000);
}

TEST(RangeFileText, OnlyDashRangesGiveLines) {
    struct Case {
        std::vector<std::string> ranges;
        std::string text;
    };
    const Case cases[] = {
        {{"192.168.0.1-3"}, "16820416\r\n33597632\r\n50374848\r\n"},
        {{"10.0.0.7-7", "1.2.3.4-4"}, "117440522\r\n67305985\r\n"},
        {{"192.168.0.5"}, ""},      // no hyphen
        {{"192.168.0.0/30"}, ""},   // another form
        {{"192.168.0.10-256"}, ""}, // last byte too large
        {{"192.168.0.10-9"}, ""},   // end below start
        {{"host-3"}, ""},           // no address
        {{"255.255.255.250-255"},
         "4211081215\r\n4227858431\r\n4244635647\r\n4261412863\r\n4278190079\r\n4294967295\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RangeFileText(c.ranges), c.text) << c.ranges.front();
}

TEST(RangeFileText, AWholeBlockIs256Lines) {
    const std::string text = RangeFileText({"10.1.2.0-255"});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 256);
}

// range.txt is replaced as a whole, through its link when it is one; a read-only one stays.
TEST(RangeFileText, WriteReplacesTheWholeFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string real = dir.filePath("real.txt").toStdString();
    const std::string path = dir.filePath("range.txt").toStdString();
    writeFile(real, std::string(1000, '9') + "\r\n");
    std::filesystem::create_symlink("real.txt", path);
    ASSERT_TRUE(WriteRangeFile(path, {"192.168.0.1-1"}).ok());
    EXPECT_EQ(readFile(real), "16820416\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(path));

    std::filesystem::permissions(real, std::filesystem::perms::owner_read);
    EXPECT_FALSE(WriteRangeFile(path, {"10.0.0.1-2"}).ok());
    EXPECT_EQ(readFile(real), "16820416\r\n");
}

} // namespace
} // namespace ormix

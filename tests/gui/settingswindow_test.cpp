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
    EXPECT_TRUE(f.Label2->isEnabled());
    EXPECT_TRUE(f.GroupCheck->isChecked());
}

TEST_F(SetupFormTest, AddMakesOneLinePerThirdOctet) {
    struct Case {
        int d11, d12, d13, d14, d23, d24;
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
        f.d11->setValue(c.d11);
        f.d12->setValue(c.d12);
        f.d13->setValue(c.d13);
        f.d14->setValue(c.d14);
        f.d23->setValue(c.d23);
        f.d24->setValue(c.d24);
        f.RxSpeedButton1->click();
        EXPECT_EQ(listLines(f), c.lines) << c.d13 << ".." << c.d23;
    }
    EXPECT_TRUE(scanRanges().empty()); // the list in force changes only on save
}

TEST_F(SetupFormTest, TypedOctetsAreMirroredAndKeptWithinBounds) {
    SettingsWindow& f = makeForm();
    f.show();
    for (auto [field, text] : {std::pair{f.d11, "192"}, {f.d12, "168"}, {f.d13, "3"}}) {
        field->selectAll();
        QTest::keyClicks(field, text);
    }
    EXPECT_EQ(f.d21->text(), "192");
    EXPECT_EQ(f.d22->text(), "168");
    EXPECT_EQ(f.d23->text(), "3");
    // d23 stays editable for a higher last third octet.
    f.d23->selectAll();
    QTest::keyClicks(f.d23, "4");
    EXPECT_EQ(f.d13->value(), 3);

    // A value above the bound can be typed and becomes the bound when committed.
    f.d24->selectAll();
    QTest::keyClicks(f.d24, "300");
    EXPECT_EQ(f.d24->CommittedValue(), 255);
    EXPECT_EQ(f.d24->text(), "255");
    f.d14->selectAll();
    QTest::keyClicks(f.d14, "-1x");
    EXPECT_EQ(f.d14->text(), "1"); // no sign, no letters
    f.AutoScanCheck->setChecked(true);
    f.Interval->selectAll();
    QTest::keyClicks(f.Interval, "2");
    EXPECT_EQ(f.Interval->CommittedValue(), 5);

    f.RxSpeedButton1->click();
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
    QTest::mouseClick(f.RxSpeedButton2, Qt::LeftButton);
    EXPECT_EQ(listLines(f), (QStringList{"a-1", "b-2", "c-3"}));
    f.AdressesList->setCurrentRow(1);
    f.RxSpeedButton2->click();
    EXPECT_EQ(listLines(f), (QStringList{"a-1", "c-3"}));
}

TEST_F(SetupFormTest, SaveWritesTheKeysInOrderThenReloads) {
    SettingsWindow& f = makeForm();
    f.show();
    f.d11->setValue(192);
    f.d12->setValue(168);
    f.d13->setValue(0);
    f.d14->setValue(1);
    f.d23->setValue(0);
    f.d24->setValue(3);
    f.RxSpeedButton1->click();
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

    f.RxSpeedButton3->click();

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
    f.d11->setValue(7);
    f.RxSpeedButton4->click();
    EXPECT_EQ(f.result(), QDialog::Rejected);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(readFile(cfgPath_), "[main]\niprange=10.0.0.1-5\n");
    EXPECT_FALSE(std::filesystem::exists("range.txt"));

    f.show();
    EXPECT_EQ(listLines(f), (QStringList{"10.0.0.1-5"}));
    EXPECT_FALSE(f.ResCntCheck->isChecked());
    EXPECT_EQ(f.d11->value(), 7); // the octet fields keep what was typed
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
    EXPECT_TRUE(f.Label2->isEnabled());
    EXPECT_TRUE(f.Label5->isEnabled());
    f.AutoScanCheck->setFocus();
    QTest::keyClick(f.AutoScanCheck, Qt::Key_Space); // the keyboard works the same
    EXPECT_FALSE(f.Interval->isEnabled());
    EXPECT_FALSE(f.Label5->isEnabled());

    f.RxSpeedButton3->click();
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

    f.RxSpeedButton3->click();

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
    f.RxSpeedButton3->click();
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_.front().contains("2047"));
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(std::filesystem::exists(cfgPath_));

    while (f.AdressesList->count() > 100)
        delete f.AdressesList->item(0);
    f.RxSpeedButton3->click(); // 100 lines fit
    EXPECT_EQ(scanRanges().size(), 100u);
    EXPECT_EQ(scanRanges().back(), "192.168.129.1-254");
}

TEST_F(SetupFormTest, HelpButtonsAndF1OpenTheirTopics) {
    SettingsWindow& f = makeForm();
    f.show();
    f.RxSpeedButton6->click();
    f.RxSpeedButton5->click();
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
        {f.RxSpeedButton1, "RxSpeedButton1", " Добавить", "Добавить диапазон адресов в список"},
        {f.RxSpeedButton2, "RxSpeedButton2", " Удалить", "Удалить текущую строку из спсиска"},
        {f.GroupCheck, "GroupCheck", "Группировать компьютеры по рабочим группам",
         "Группировка найденных компьютеров по рабочим группам в которых они находятся"},
        {f.ResCntCheck, "ResCntCheck", "Показывать кол-во ресурсов",
         "Если отключить то скорость сканирования будет выше!"},
        {f.EmtyResCheck, "EmtyResCheck", "Не отображать компьютеры без ресурсов",
         "Если отключить то скорость сканирования будет выше!"},
        {f.AutoScanCheck, "AutoScanCheck", "Автоматическое сканирование: ", ""},
        {f.RxSpeedButton6, "RxSpeedButton6", "?", "Справка"},
        {f.RxSpeedButton5, "RxSpeedButton5", "?", "Справка"},
        {f.RxSpeedButton3, "RxSpeedButton3", "Сохранить", ""},
        {f.RxSpeedButton4, "RxSpeedButton4", "Отмена", ""},
        {f.Label4, "Label4", "Диапазон адресов для сканирования", ""},
        {f.Label2, "Label2", "интервал", ""},
        {f.Label5, "Label5", "сек.", ""},
        {f.Label1, "Label1", "Не отображать следующие ресурсы (через запятую)", ""},
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
    EXPECT_EQ(f.d21->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(f.d22->isReadOnly());
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

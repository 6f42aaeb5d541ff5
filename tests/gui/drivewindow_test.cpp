// The network drive window: the free-letter list built at each showing, the
// three messages of "Подключить", what reaches the attach operation, F1, and
// the connecting state with its cancel against a gio that never answers.
#include "gui/drivewindow.h"

#include "fixtures/stalled_gio.h"
#include "fixtures/waitfor.h"
#include "qtapp.h"
#include "settings/netdrive.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace fs = std::filesystem;

namespace ormix {
namespace {

struct MapCall {
    QString localName, uncPath;
};

class ConnectDriveFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        if (const char* old = std::getenv("HOME"))
            oldHome_ = old;
        setenv("HOME", home_.path().toLocal8Bit().constData(), 1);
        form_.MapDrive = [this](const QString& local, const QString& path, const std::atomic<bool>&) {
            calls_.push_back({local, path});
            return status_;
        };
        form_.ShowMessage = [this](const QString& text) { messages_ << text; };
        form_.OpenHelp = [this](int topic) { topics_.push_back(topic); };
    }
    void TearDown() override {
        form_.hide();
        if (oldHome_)
            setenv("HOME", oldHome_->c_str(), 1);
    }

    void useLetters(const char* letters) {
        for (const char* c = letters; *c; ++c)
            fs::create_directories(home_.path().toStdString() + "/NetDrives/" + *c);
    }
    QStringList listed() const {
        QStringList items;
        for (int i = 0; i < form_.DrivesCombo->count(); ++i)
            items << form_.DrivesCombo->itemText(i);
        return items;
    }
    void choose(const QString& drive) {
        form_.DrivesCombo->setCurrentIndex(form_.DrivesCombo->findText(drive));
        ASSERT_EQ(form_.DrivesCombo->currentText(), drive);
    }
    // "Подключить", and the wait for the attachment's result.
    void connectAndWait() {
        QTest::mouseClick(form_.connectButton_, Qt::LeftButton);
        ASSERT_TRUE(testing::waitFor([&] { return !form_.Connecting(); }));
    }

    QTemporaryDir home_;
    std::optional<std::string> oldHome_;
    DriveWindow form_;
    std::vector<MapCall> calls_;
    int status_ = 0;
    QStringList messages_;
    std::vector<int> topics_;
};

QStringList letters(const QString& head, char first, char last) {
    QStringList out;
    for (QChar c : head)
        out << QString(c) + ':';
    for (char c = first; c <= last; ++c)
        out << QString(QChar(c)) + ':';
    return out;
}

TEST_F(ConnectDriveFormTest, LayoutNamesTextsAndHints) {
    EXPECT_EQ(form_.windowTitle(), "Подключение сетевого диска");
    EXPECT_EQ(form_.OnHostCntTxt->text(), "Выберите имя диска для подключения: ");
    EXPECT_EQ(form_.pathLabel_->text(), "Сетевой каталог для подключения: ");
    EXPECT_EQ(form_.OnHostCntTxt->toolTip(), "Количество найденых компьютеров");
    EXPECT_EQ(form_.pathLabel_->toolTip(), "Количество найденых компьютеров");
    EXPECT_EQ(form_.connectButton_->text(), "Подключить");
    EXPECT_EQ(form_.connectButton_->toolTip(), "Подключить сетевой диск");
    EXPECT_FALSE(form_.DrivesCombo->isEditable());
    EXPECT_EQ(form_.DrivesCombo->maxVisibleItems(), 8);
    EXPECT_TRUE(form_.PathName->isReadOnly());
    EXPECT_EQ(form_.PathName->maxLength(), 256);
    EXPECT_EQ(form_.minimumSize(), form_.maximumSize()); // a fixed dialog
    EXPECT_GE(form_.width(), 275);
    EXPECT_GE(form_.height(), 126);
    for (const char* name : {"OnHostCntTxt", "DrivesCombo", "StaticText1", "PathName", "ScanButt"})
        EXPECT_NE(form_.findChild<QWidget*>(name), nullptr) << name;
}

TEST_F(ConnectDriveFormTest, FreeLettersAreRebuiltAtEveryShowingWithNoneSelected) {
    useLetters("ACD");
    form_.show();
    EXPECT_EQ(listed(), letters("B", 'E', 'Z'));
    EXPECT_EQ(form_.DrivesCombo->count(), 23);
    EXPECT_EQ(form_.DrivesCombo->currentIndex(), -1);
    EXPECT_FALSE(form_.DrivesCombo->itemIcon(0).isNull());

    choose("E:");
    form_.hide();
    useLetters("B");
    form_.show();
    EXPECT_EQ(listed(), letters("", 'E', 'Z'));
    EXPECT_EQ(form_.DrivesCombo->currentIndex(), -1);
}

// The list opens with eight rows and a scroll bar, not with every free letter.
TEST_F(ConnectDriveFormTest, LetterListOpensEightRows) {
    useLetters("");
    form_.show();
    ASSERT_EQ(form_.DrivesCombo->count(), 26);
    form_.DrivesCombo->showPopup();
    QAbstractItemView* view = form_.DrivesCombo->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    const int row = view->sizeHintForRow(0);
    ASSERT_GT(row, 0);
    EXPECT_EQ(view->viewport()->height() / row, 8) << view->viewport()->height() << " / " << row;
    EXPECT_GT(view->verticalScrollBar()->maximum(), 0); // the rest is reached by scrolling
    form_.DrivesCombo->hidePopup();
}

TEST_F(ConnectDriveFormTest, NoLetterChosenCallsNothing) {
    form_.show();
    QTest::mouseClick(form_.connectButton_, Qt::LeftButton);
    EXPECT_EQ(messages_, QStringList{"Не выбрана буква для сетевого диска!"});
    EXPECT_TRUE(calls_.empty());
    EXPECT_TRUE(form_.isVisible());
}

TEST_F(ConnectDriveFormTest, SuccessPassesLowerCaseNameAndTrimmedPathAndCloses) {
    form_.show();
    form_.PathName->setText(" \t\\\\192.168.0.5\\Docs  \n");
    choose("E:");
    connectAndWait();
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].localName, "e:");
    EXPECT_EQ(calls_[0].uncPath, "\\\\192.168.0.5\\Docs");
    EXPECT_EQ(messages_, QStringList{"Сетевой диск E: успешно подключен!"});
    EXPECT_FALSE(form_.isVisible());
    EXPECT_EQ(form_.result(), QDialog::Accepted);
}

TEST_F(ConnectDriveFormTest, FailureShowsOneMessageAndStaysOpenForAnotherTry) {
    form_.show();
    form_.PathName->setText("\\\\192.168.0.5\\Docs");
    status_ = 85;
    choose("E:");
    connectAndWait();
    EXPECT_EQ(messages_, QStringList{"Ошибка подключения диска!"});
    EXPECT_TRUE(form_.isVisible());
    EXPECT_TRUE(form_.connectButton_->isEnabled());

    status_ = 0;
    choose("F:");
    connectAndWait();
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_EQ(calls_[1].localName, "f:");
    EXPECT_EQ(messages_.last(), "Сетевой диск F: успешно подключен!");
}

TEST_F(ConnectDriveFormTest, ShowForPathIsModalWithThePathFocused) {
    useLetters("ACD");
    QString shownPath;
    bool focused = false;
    int items = 0;
    QTimer::singleShot(0, &form_, [&] {
        shownPath = form_.PathName->text();
        focused = form_.focusWidget() == form_.PathName;
        items = form_.DrivesCombo->count();
        form_.reject();
    });
    EXPECT_EQ(form_.ShowForPath("\\\\192.168.0.5\\Docs"), QDialog::Rejected);
    EXPECT_EQ(shownPath, "\\\\192.168.0.5\\Docs");
    EXPECT_TRUE(focused);
    EXPECT_EQ(items, 23);
    EXPECT_EQ(form_.PathName->text(), "\\\\192.168.0.5\\Docs"); // kept for the next showing
}

// A gio on PATH that takes the mount and never answers, as a share that does
// not respond would: the window shows that it connects and the program's
// event loop runs on; each way of giving up kills gio and leaves neither a
// link nor a bookmark, and the window stays usable.
TEST_F(ConnectDriveFormTest, ConnectingRunsOffTheMainThreadAndEveryWayOfGivingUpKillsGio) {
    testing::StalledGio stalled(home_.path().toStdString());
    setenv("XDG_RUNTIME_DIR", home_.path().toLocal8Bit().constData(), 1);
    unsetenv("XDG_CONFIG_HOME");
    form_.MapDrive = [](const QString& local, const QString& path, const std::atomic<bool>& cancel) {
        return MapNetworkDrive(local.toStdString(), path.toStdString(), cancel);
    };
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);

    const struct {
        const char* way;
        std::function<void()> giveUp;
        bool staysOpen;
    } ways[] = {
        {"Отмена", [&] { QTest::mouseClick(form_.cancelButton_, Qt::LeftButton); }, true},
        {"closing the window", [&] { form_.close(); }, false},
        {"quitting the program", [&] { form_.CancelAndWait(); }, true},
    };
    size_t started = 0;
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        form_.show();
        form_.PathName->setText("\\\\127.0.0.1\\Docs");
        choose("E:");
        QTest::mouseClick(form_.connectButton_, Qt::LeftButton);
        // "Подключить" has returned while gio still runs.
        ASSERT_TRUE(testing::waitFor([&] { return stalled.pids().size() == started + 1; }, 30000));
        const pid_t gio = stalled.pids().back();
        ++started;
        const int before = ticks;
        ASSERT_TRUE(testing::waitFor([&] { return ticks >= before + 10; }, 30000));
        EXPECT_TRUE(form_.Connecting());
        EXPECT_EQ(::kill(gio, 0), 0) << "gio still waits for the share";
        EXPECT_EQ(form_.StatusTxt->text(), DriveWindow::ConnectingText());
        EXPECT_TRUE(form_.cancelButton_->isVisible() && form_.cancelButton_->isEnabled());
        EXPECT_FALSE(form_.connectButton_->isEnabled());
        EXPECT_FALSE(form_.DrivesCombo->isEnabled());

        w.giveUp();
        ASSERT_TRUE(testing::waitFor([&] { return !form_.Connecting(); }, 30000));
        EXPECT_EQ(::kill(gio, 0), -1);
        EXPECT_EQ(errno, ESRCH) << "gio was killed and reaped";
        EXPECT_FALSE(fs::exists(fs::symlink_status(home_.path().toStdString() + "/NetDrives/E")));
        EXPECT_FALSE(fs::exists(home_.path().toStdString() + "/.config/gtk-3.0/bookmarks"));
        EXPECT_TRUE(messages_.isEmpty()) << messages_.join(" | ").toStdString();
        EXPECT_EQ(form_.isVisible(), w.staysOpen);
        if (w.staysOpen) {
            EXPECT_EQ(form_.StatusTxt->text(), DriveWindow::CancelledText());
            EXPECT_TRUE(form_.connectButton_->isEnabled());
            EXPECT_FALSE(form_.cancelButton_->isVisible());
        }
        form_.hide();
    }
}

TEST_F(ConnectDriveFormTest, HelpKeyInThePathOpensTopic12) {
    form_.show();
    QTest::keyClick(form_.PathName, Qt::Key_F1);
    EXPECT_EQ(topics_, std::vector<int>{12});
}

} // namespace
} // namespace ormix

// The main window: layout, menus and pictures, log panel, message log from many
// threads, hiding into the notification area, quitting, the About box and help.
#include "shell_test_util.h"

#include "gui/aboutbox.h"
#include "gui/app.h"
#include "gui/application.h"
#include "gui/help.h"
#include "gui/icons.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <thread>
#include <vector>

namespace ormix::test {
namespace {

// Records the URLs the desktop would open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class MainWindowTest : public InTempFolder {
protected:
    void SetUp() override {
        InTempFolder::SetUp();
        dlg = std::make_unique<TestMainDlg>();
    }
    void TearDown() override {
        dlg.reset();
        InTempFolder::TearDown();
    }
    void showWindow() {
        dlg->show();
        QCoreApplication::processEvents();
    }

    std::unique_ptr<TestMainDlg> dlg;
};

TEST_F(MainWindowTest, ComponentsHaveTheirNamesCaptionsHintsAndPlaces) {
    showWindow();
    EXPECT_EQ(dlg->size(), QSize(602, 492));
    EXPECT_EQ(dlg->windowTitle(), ":: ORMIX 2.8 ::");
    EXPECT_EQ(dlg->TitleText, ":: ORMIX 2.8 ::");
    const Qt::WindowFlags flags = dlg->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

    struct Case {
        const char* name;
        QString text; // caption; empty: not checked
        QString hint;
        QRect place; // null: not checked
    };
    const QString scannedHint = "Количество просканированных компьютеров";
    const Case cases[] = {
        {"TotHostTxt", {}, scannedHint, QRect(5, 4, 412, 17)},
        {"OnHostCntTxt", {}, "Количество найденых компьютеров", QRect(5, 22, 412, 17)},
        {"ScanProgress", {}, "Показывает процент просканированного диапазона", QRect(5, 40, 412, 17)},
        {"AddHstTxt", "-", scannedHint, QRect(5, 40, 412, 17)},
        {"ScanButt", "  Старт!", "Начать сканирование сети", QRect(434, 4, 96, 23)},
        {"RxSpeedButton1", {}, "Нажми меня!", QRect(530, 4, 12, 23)},
        {"SearchButt", "Поиск файлов!", "Поиск файлов и папок", QRect(434, 28, 108, 23)},
        {"LogButt", "+", "Скрыть/показать окно сообщений", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* widget = dlg->findChild<QWidget*>(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), dlg->controlPanel_);
        EXPECT_EQ(widget->toolTip(), c.hint);
        if (!c.text.isEmpty()) {
            auto* label = qobject_cast<QLabel*>(widget);
            EXPECT_EQ(label ? label->text() : qobject_cast<QToolButton*>(widget)->text(), c.text);
        }
        if (!c.place.isNull()) {
            EXPECT_EQ(widget->geometry(), c.place);
        }
    }

    // The panels from top to bottom: tree, controlPanel_ (60), LogPanel (collapsed).
    ASSERT_NE(dlg->findChild<QTreeWidget*>("MainTree"), nullptr);
    EXPECT_FALSE(dlg->MainTree->isHeaderHidden());
    EXPECT_EQ(dlg->controlPanel_->height(), 60);
    EXPECT_EQ(dlg->LogPanel->height(), 1);
    EXPECT_EQ(dlg->MainTree->geometry().bottom() + 1, dlg->controlPanel_->geometry().top());
    EXPECT_EQ(dlg->controlPanel_->geometry().bottom() + 1, dlg->LogPanel->geometry().top());
    EXPECT_EQ(dlg->LogPanel->geometry().bottom() + 1, dlg->centralWidget()->height());

    // LogButt: 13 x 15 in the lower right corner of controlPanel_, also after a resize.
    for (int width : {602, 760}) {
        dlg->resize(width, 492);
        QCoreApplication::processEvents();
        const QRect button = dlg->LogButt->geometry();
        EXPECT_EQ(button.size(), QSize(13, 15));
        EXPECT_LE(dlg->controlPanel_->width() - 1 - button.right(), 3);
        EXPECT_LE(dlg->controlPanel_->height() - 1 - button.bottom(), 3);
    }

    // At its smallest every control of controlPanel_ lies inside the panel, none
    // covers another, and the tree keeps some rows, with the log shut or open.
    for (int round = 0; round < 2; ++round) {
        dlg->resize(1, 1);
        QCoreApplication::processEvents();
        EXPECT_EQ(dlg->size(), dlg->minimumSize());
        EXPECT_GE(dlg->MainTree->height(), 60);
        const QRect panel = dlg->controlPanel_->contentsRect();
        const QWidget* controls[] = {dlg->TotHostTxt,  dlg->OnHostCntTxt, dlg->ScanProgress, dlg->ScanButt,
                                     dlg->menuButton_, dlg->SearchButt,   dlg->LogButt};
        for (const QWidget* w : controls) {
            EXPECT_TRUE(panel.contains(w->geometry())) << w->objectName().toStdString();
            for (const QWidget* other : controls) {
                if (other != w) {
                    EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                        << w->objectName().toStdString() << " " << other->objectName().toStdString();
                }
            }
        }
        dlg->onLogClicked();
    }
    dlg->onLogClicked();
    dlg->resize(602, 492);
    QCoreApplication::processEvents();

    // State at start.
    EXPECT_TRUE(dlg->ScanProgress->isVisible());
    EXPECT_EQ(dlg->ScanProgress->format(), "%p%");
    EXPECT_FALSE(dlg->AddHstTxt->isVisible());
    EXPECT_TRUE(dlg->ScanButt->isEnabled());
    EXPECT_FALSE(dlg->SearchButt->isEnabled());
    for (QWidget* w : {static_cast<QWidget*>(dlg->ScanProgress), static_cast<QWidget*>(dlg->AddHstTxt)})
        EXPECT_EQ(w->palette().color(QPalette::Window), QColor(0xEB, 0xEB, 0xEB));
    for (QToolButton* b : {dlg->ScanButt, dlg->menuButton_, dlg->SearchButt, dlg->LogButt})
        EXPECT_TRUE(b->autoRaise()) << b->objectName().toStdString();
    EXPECT_EQ(dlg->menuButton_->menu(), dlg->mainMenu_);
    EXPECT_EQ(dlg->menuButton_->popupMode(), QToolButton::InstantPopup);

    // The message log.
    EXPECT_TRUE(dlg->IpMemo->isReadOnly());
    EXPECT_EQ(dlg->IpMemo->document()->firstBlock().text(), "debug output");
    EXPECT_EQ(dlg->IpMemo->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(dlg->IpMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(dlg->IpMemo->font().bold());
    EXPECT_EQ(dlg->IpMemo->font().family(), "Arial");
    EXPECT_EQ(dlg->IpMemo->parentWidget(), dlg->LogPanel);
}

TEST_F(MainWindowTest, MenusCarryTheirItemsAndPictures) {
    struct Item {
        QMenu* menu;
        int position;
        const char* name;
        QString text;
        int picture; // -1: none
        bool enabled;
    };
    const Item items[] = {
        {dlg->mainMenu_, 0, "N2", "Настройки", IconTickedBox, true},
        {dlg->mainMenu_, 1, "N3", "Список компьютеров", IconList, true},
        {dlg->mainMenu_, 2, "N332", "О программе", IconPicture, true},
        {dlg->mainMenu_, 3, "N5", "Закрыть", IconClose, true},
        {dlg->trayMenu_, 0, "SN3", "Восстановить", -1, true},
        {dlg->trayMenu_, 1, "N4", "Закрыть", -1, true},
    };
    EXPECT_EQ(dlg->mainMenu_->actions().size(), 4);
    EXPECT_EQ(dlg->trayMenu_->actions().size(), 2);
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        QAction* action = item.menu->actions().value(item.position);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->objectName(), item.name);
        EXPECT_EQ(action->text(), item.text);
        EXPECT_EQ(action->isEnabled(), item.enabled);
        if (item.picture < 0)
            EXPECT_TRUE(action->icon().isNull());
        else
            EXPECT_EQ(action->icon().pixmap(16, 16).toImage(),
                      ormixIcon(item.picture).pixmap(16, 16).toImage());
    }

    // The tray icon: hint, right-button menu.
    EXPECT_EQ(dlg->TrayIcon->toolTip(), ":: ORMIX 2.8 ::");
    EXPECT_EQ(dlg->TrayIcon->contextMenu(), dlg->trayMenu_);
}

TEST(ImageList, SixteenDistinctPicturesOf16By16) {
    std::vector<QImage> images;
    for (int i = 0; i < kIconCount; ++i) {
        SCOPED_TRACE(i);
        const QIcon icon = ormixIcon(i);
        ASSERT_FALSE(icon.isNull());
        const QImage image = icon.pixmap(16, 16).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16));
        for (const QImage& earlier : images)
            EXPECT_NE(image, earlier);
        images.push_back(image);
    }
    EXPECT_TRUE(ormixIcon(-1).isNull());
    EXPECT_TRUE(ormixIcon(kIconCount).isNull());
}

TEST_F(MainWindowTest, LogButtOpensAndClosesTheLogPanel) {
    showWindow();
    const int treeHeight = dlg->MainTree->height();
    const struct {
        int height;
        const char* caption;
    } steps[] = {{80, "-"}, {1, "+"}, {80, "-"}};
    for (const auto& step : steps) {
        QTest::mouseClick(dlg->LogButt, Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_EQ(dlg->LogPanel->height(), step.height);
        EXPECT_EQ(dlg->LogButt->text(), step.caption);
        EXPECT_EQ(dlg->MainTree->height(), treeHeight + 1 - step.height); // the tree gives the room
    }
}

TEST_F(MainWindowTest, CloseWithoutQuitHidesIntoTheTrayAndRestores) {
    showWindow();
    EXPECT_FALSE(dlg->close()); // refused
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_TRUE(dlg->HiddenInTray());
    EXPECT_TRUE(QFile::exists(path("cfg.ini"))); // placement written at the refused close

    // Every way back: double click on the icon, "Восстановить", a restore request.
    const std::function<void()> restores[] = {
        [&] { emit dlg->TrayIcon->activated(QSystemTrayIcon::DoubleClick); },
        [&] { dlg->restoreAction_->trigger(); },
        [&] { dlg->RestoreFromTray(); },
    };
    for (const auto& restore : restores) {
        dlg->HideIntoTray();
        ASSERT_FALSE(dlg->isVisible());
        restore();
        QCoreApplication::processEvents();
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_FALSE(dlg->isMinimized());
        EXPECT_FALSE(dlg->HiddenInTray());
    }
    // A single click or the context click does not restore.
    dlg->HideIntoTray();
    emit dlg->TrayIcon->activated(QSystemTrayIcon::Trigger);
    emit dlg->TrayIcon->activated(QSystemTrayIcon::Context);
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(MainWindowTest, MinimisingHidesIntoTheTray) {
    showWindow();
    dlg->showMinimized();
    EXPECT_TRUE(waitFor([&] { return !dlg->isVisible(); }));
    EXPECT_TRUE(dlg->HiddenInTray());
    dlg->RestoreFromTray();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(dlg->isMinimized());
}

TEST_F(MainWindowTest, WithoutASystemTrayCloseMinimisesInstead) {
    dlg->trayPresent = false;
    showWindow();
    EXPECT_FALSE(dlg->close());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->isMinimized());
    EXPECT_FALSE(dlg->HiddenInTray());
    dlg->RestoreFromTray();
    EXPECT_FALSE(dlg->isMinimized());
}

// "Закрыть" from either menu, with the window shown or hidden in the tray, ends
// the event loop (the entry then ends the process).
TEST_F(MainWindowTest, CloseItemsQuit) {
    for (bool fromTray : {false, true}) {
        SCOPED_TRACE(fromTray ? "trayMenu_, window hidden" : "mainMenu_, window shown");
        dlg = std::make_unique<TestMainDlg>();
        showWindow();
        if (fromTray)
            dlg->HideIntoTray();
        QAction* item = fromTray ? dlg->trayQuitAction_ : dlg->quitAction_;
        QTimer::singleShot(0, item, &QAction::trigger);
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(5000);
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_TRUE(dlg->QuitRequested);
        EXPECT_FALSE(dlg->isVisible());
    }
}

TEST_F(MainWindowTest, LogLinesFromManyThreadsArriveWhole) {
    constexpr int kThreads = 8;
    constexpr int kLines = 250;
    const auto lineText = [](int thread, int index) {
        return QStringLiteral("thread %1 line %2 ").arg(thread).arg(index, 4, 10, QLatin1Char('0')) +
               QString(120, QChar(u'a' + thread));
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                dlg->AddLogLine(lineText(t, i));
        });
    for (int i = 0; i < kLines; ++i) { // the main thread writes at the same time
        dlg->AddLogLine(lineText(kThreads, i));
        QCoreApplication::processEvents();
    }
    for (auto& t : threads)
        t.join();
    const int expected = 1 + (kThreads + 1) * kLines;
    ASSERT_TRUE(waitFor([&] { return dlg->IpMemo->blockCount() >= expected; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(dlg->IpMemo->blockCount(), expected);

    const QRegularExpression shape(QStringLiteral("^thread (\\d) line (\\d{4}) ([a-z])\\3{119}$"));
    std::vector<int> next(kThreads + 1, 0);
    QTextBlock block = dlg->IpMemo->document()->firstBlock();
    EXPECT_EQ(block.text(), "debug output");
    for (block = block.next(); block.isValid(); block = block.next()) {
        const auto m = shape.match(block.text());
        ASSERT_TRUE(m.hasMatch()) << block.text().toStdString();
        const int thread = m.captured(1).toInt();
        ASSERT_EQ(m.captured(3).at(0), QChar(u'a' + thread));
        EXPECT_EQ(m.captured(2).toInt(), next[thread]) << "lines of one thread keep their order";
        next[thread] = m.captured(2).toInt() + 1;
    }
}

// The About box shows the version and links to the files that come with the
// program: the help page opens, a missing README is said in a message.
TEST_F(MainWindowTest, AboutBoxShowsTitleVersionAndItsFiles) {
    AboutBox about(*dlg);
    ProgramWindows windows;
    windows.main = dlg.get();
    windows.about = &about;
    ConnectWindows(windows);
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    QFile page(path("ormix.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    dlg->HelpFile = path("ormix.html");
    ASSERT_FALSE(QFile::exists(AboutBox::ReadmePath()));

    bool seen = false;
    QString message;
    QTimer::singleShot(0, &about, [&] {
        seen = about.isVisible() && QApplication::activeModalWidget() == &about;
        EXPECT_EQ(about.TitleLabel->text(), ":: ORMIX 2.8 ::");
        EXPECT_EQ(about.HelpLink->toolTip(), path("ormix.html"));
        EXPECT_EQ(about.ReadmeLink->toolTip(), AboutBox::ReadmePath());
        emit about.HelpLink->linkActivated("open");
        QTimer::singleShot(0, qApp, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                message = box->text();
                box->accept();
            }
        });
        emit about.ReadmeLink->linkActivated("open");
        QTest::mouseClick(about.OKButton, Qt::LeftButton);
    });
    dlg->aboutAction_->trigger(); // modal until OK
    EXPECT_TRUE(seen);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.size(), QSize(290, 119));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_NE(about.TitleLabel->frameShape(), QFrame::NoFrame);
    EXPECT_TRUE(QRegularExpression("^Версия \\d+\\.\\d+").match(about.VersionLine->text()).hasMatch())
        << about.VersionLine->text().toStdString();
    EXPECT_EQ(about.OKButton->text(), "OK");
    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(path("ormix.html")));
    EXPECT_EQ(message, "Файл не найден:\n" + AboutBox::ReadmePath());
    // Only what is true: no web or mail addresses anywhere in the box.
    for (const QLabel* label : about.findChildren<QLabel*>())
        EXPECT_FALSE(label->text().contains(QRegularExpression("example|@|https?:|mailto:")))
            << label->text().toStdString();

    QDesktopServices::unsetUrlHandler("file");
}

TEST_F(MainWindowTest, HelpTopicOpensItsAnchorAndAMissingPageIsAMessage) {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");

    dlg->HelpFile = path("missing.html");
    QString message, title;
    QTimer::singleShot(0, qApp, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            message = box->text();
            title = box->windowTitle();
            box->accept();
        }
    });
    dlg->OpenHelpTopic(15);
    EXPECT_TRUE(message.contains(path("missing.html"))) << message.toStdString();
    EXPECT_EQ(title, "ORMIX");
    EXPECT_TRUE(recorder.urls.isEmpty());

    QFile page(path("ormix.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    dlg->HelpFile = path("ormix.html");
    dlg->OpenHelpTopic(12);
    dlg->OpenHelpTopic(30);
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls[0].toLocalFile(), path("ormix.html"));
    EXPECT_EQ(recorder.urls[0].fragment(), "topic12");
    EXPECT_EQ(recorder.urls[1].fragment(), "topic30");

    QDesktopServices::unsetUrlHandler("file");
}

} // namespace
} // namespace ormix::test

#include "mainwindow_test.moc"

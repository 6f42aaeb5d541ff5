// The general error report: an exception escaping an event handler is shown
// with its text (an unknown one with an empty text) and the program goes on.
#include "gui/application.h"
#include "settings/configfile.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace ormix {
namespace {

// An object whose custom events run a handler.
class Thrower : public QObject {
public:
    std::function<void()> handler;

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        handler();
        return true;
    }
};

class ErrorReport : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetErrorReporter([this](const QString& text) { reports << text; });
    }
    void TearDown() override { SetErrorReporter(previous_); }

    QStringList reports;

private:
    ErrorReporter previous_;
};

TEST_F(ErrorReport, ExceptionsFromHandlersAreReportedAndTheProgramGoesOn) {
    const struct {
        const char* what;
        std::function<void()> raise;
        QString expected;
    } cases[] = {
        {"std::exception", [] { throw std::runtime_error("boom"); }, "boom"},
        {"configuration write", [] { throw ConfigWriteError("/home/u/cfg.ini"); },
         "Unable to write to /home/u/cfg.ini"},
        {"no text", [] { throw 42; }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reports.clear();

        // A button's slot, reached through a mouse click.
        QPushButton button;
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, [&] {
            ++clicks;
            c.raise();
        });
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::mouseClick(&button, Qt::LeftButton); // still works after the first error
        EXPECT_EQ(clicks, 2);

        // A posted event and a queued call, run by the event loop.
        Thrower thrower;
        thrower.handler = c.raise;
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QMetaObject::invokeMethod(&thrower, c.raise, Qt::QueuedConnection);
        QCoreApplication::processEvents();

        EXPECT_EQ(reports, QStringList(4, c.expected));
    }
}

TEST_F(ErrorReport, DefaultReportIsAMessageBoxWithTheText) {
    SetErrorReporter({});
    QString shown, title;
    QTimer::singleShot(0, qApp, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            title = box->windowTitle();
            box->accept();
        }
    });
    Thrower thrower;
    thrower.handler = [] { throw std::runtime_error("Unable to write to ./cfg.ini"); };
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    EXPECT_EQ(shown, "Unable to write to ./cfg.ini");
    EXPECT_EQ(title, "ORMIX");
}

} // namespace
} // namespace ormix

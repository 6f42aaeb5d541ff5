// The help page shipped beside the program: every topic the windows open
// reaches a section of the page, and the page's own links lead somewhere.
#include "gui/help.h"

#include "qtapp.h"

#include <QDesktopServices>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <gtest/gtest.h>

#include <set>

namespace ormix {
namespace {

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

QString shippedPage() {
    return qEnvironmentVariable("ORMIX_BIN_DIR") + QStringLiteral("/help/ormix.html");
}

std::set<QString> matches(const QString& text, const QString& pattern) {
    std::set<QString> found;
    for (const QRegularExpressionMatch& m : QRegularExpression(pattern).globalMatch(text))
        found.insert(m.captured(1));
    return found;
}

TEST(HelpPage, EveryTopicOpensAnAnchorOfTheShippedPage) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("ORMIX_BIN_DIR"));
    QFile file(shippedPage());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << shippedPage().toStdString();
    const QString page = QString::fromUtf8(file.readAll());
    const std::set<QString> ids = matches(page, QStringLiteral("id=\"([^\"]+)\""));

    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    for (int topic : {12, 15, 19, 20, 30})
        OpenHelpTopic(shippedPage(), topic, nullptr);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    ASSERT_EQ(recorder.urls.size(), 5);
    for (const QUrl& url : recorder.urls) {
        SCOPED_TRACE(url.toString().toStdString());
        EXPECT_EQ(url.toLocalFile(), shippedPage());
        EXPECT_TRUE(ids.count(url.fragment())) << "no section for this topic";
    }
    for (const QString& target : matches(page, QStringLiteral("href=\"#([^\"]+)\"")))
        EXPECT_TRUE(ids.count(target)) << "dangling link #" << target.toStdString();

    // The programs topic names every placeholder the search window fills in.
    const QString programs =
        page.section(QStringLiteral("id=\"topic20\""), 1).section(QStringLiteral("<h2"), 0, 0);
    for (const char* placeholder : {"%%prg%%", "%%dir%%", "%%url%%", "%%unc%%"})
        EXPECT_TRUE(programs.contains(QLatin1String(placeholder))) << placeholder;
}

} // namespace
} // namespace ormix

#include "helppage_test.moc"

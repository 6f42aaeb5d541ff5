// The program's help page, opened by topic.
#include "gui/help.h"
#include "gui/application.h"

#include "platform/programdir.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace ormix {

QString HelpFilePath() {
    return QString::fromStdString(dataFilesDir()) + QStringLiteral("/help/ormix.html");
}

void OpenHelpTopic(int topic) {
    OpenHelpTopic(HelpFilePath(), topic, nullptr);
}

void OpenHelpTopic(const QString& helpFile, int topic, QWidget* parent) {
    const QFileInfo page(helpFile);
    if (!page.isFile()) {
        QMessageBox::warning(parent, MessageBoxTitle(),
                             QStringLiteral("Файл справки не найден:\n%1").arg(helpFile));
        return;
    }
    QUrl url = QUrl::fromLocalFile(page.absoluteFilePath());
    url.setFragment(QStringLiteral("topic%1").arg(topic));
    QDesktopServices::openUrl(url);
}

} // namespace ormix

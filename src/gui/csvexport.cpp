// The save dialog and the file write of a CSV export (see csvexport.h).
#include "gui/csvexport.h"

#include <QDir>
#include <QFileDialog>
#include <QSaveFile>

namespace ormix {

QString AskCsvExportPath(QWidget* parent, const QString& fileName) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Экспорт в CSV"),
                                        QDir::home().filePath(fileName),
                                        QStringLiteral("Данные разделенные запятыми (*.csv)"));
}

QString WriteExportFile(const QString& path, const std::string& bytes) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()) &&
        file.commit())
        return {};
    return QStringLiteral("Не удалось сохранить файл %1:\n%2").arg(path, file.errorString());
}

} // namespace ormix

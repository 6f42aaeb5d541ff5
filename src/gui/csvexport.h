// "Экспорт в CSV" of the computer list and search windows: the save dialog and
// the file write. The CSV text itself comes from the core
// (export/rowformat.h, settings/computerlist.h).
// Tests: tests/shell/csvexport_test.cpp.
#pragma once

#include <QString>

#include <string>

class QWidget;

namespace ormix {

// Asks for the file of a CSV export, suggesting `fileName` in the home folder
// and asking before overwriting. Empty when the user cancels.
QString AskCsvExportPath(QWidget* parent, const QString& fileName);

// Writes the bytes to `path` through a temporary file renamed over it, so a
// failed export never leaves half a file or damages the one there. Empty on
// success, otherwise the message for the user.
QString WriteExportFile(const QString& path, const std::string& bytes);

} // namespace ormix

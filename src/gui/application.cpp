// The application object and the general error report.
#include "gui/application.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include <exception>
#include <utility>

namespace ormix {

namespace {

ErrorReporter& customReporter() {
    static ErrorReporter reporter;
    return reporter;
}

void showErrorBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, MessageBoxTitle(), text, QMessageBox::Ok);
    box.exec();
}

} // namespace

QString MessageBoxTitle() {
    return QStringLiteral("ORMIX");
}

OrmixApplication::OrmixApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("ormix"));
    // Lets the desktop match the window to the menu entry and its icon.
    setDesktopFileName(QStringLiteral("org.example.ormix"));
    // The main window hides into the notification area instead of closing, and
    // the program ends only through "Закрыть"; Qt must never quit on its own.
    setQuitOnLastWindowClosed(false);
    LoadQtRussian(*this);
}

bool OrmixApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportError(QString());
    }
    return false;
}

bool LoadQtRussian(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void ReportError(const QString& text) {
    if (const ErrorReporter& reporter = customReporter())
        reporter(text);
    else
        showErrorBox(text);
}

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
    return std::exchange(customReporter(), std::move(reporter));
}

} // namespace ormix

// The application object and the general error report: an exception that
// escapes an event handler is shown in a message box and the program goes on.
// Tests: tests/shell/errorreport_test.cpp.
#pragma once

#include <QApplication>
#include <QString>

#include <functional>

namespace ormix {

class OrmixApplication : public QApplication {
public:
    // argc must outlive the application object (QApplication keeps a reference).
    OrmixApplication(int& argc, char** argv);

    // Runs the event as usual; an exception thrown on the way is shown by
    // ReportError and the event counts as not handled.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Loads Qt's own Russian texts (qtbase_ru from Qt's translations folder) into
// the application, so standard dialogs, button boxes and edit menus speak the
// language of the rest of the interface. False when the file is not there
// (the standard texts then stay English).
bool LoadQtRussian(QCoreApplication& app);

// The title of every message box of the program, information and error alike.
QString MessageBoxTitle();

// The general error report: a message box with the error's text (an error
// without text shows an empty one). Call on the main thread.
void ReportError(const QString& text);

// Replaces what ReportError does (tests record the texts instead of showing a
// box); an empty function brings the message box back. Returns the one before.
using ErrorReporter = std::function<void(const QString& text)>;
ErrorReporter SetErrorReporter(ErrorReporter reporter);

} // namespace ormix

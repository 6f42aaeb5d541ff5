// The program's help: one HTML page shipped beside the program
// (<program folder>/help/ormix.html; <prefix>/share/ormix/help/ormix.html for
// an installed copy) with an anchor "topicN" per topic,
// opened in the desktop's browser.
// Tests: tests/shell/mainwindow_test.cpp.
#pragma once

#include <QString>

class QWidget;

namespace ormix {

// Where the help page is looked for.
QString HelpFilePath();

// Opens topic `topic` (12, 15, 19, 20, 30) of the help page. Call on the main thread.
void OpenHelpTopic(int topic);

// Opens topic `topic` of the page `helpFile`; a missing page gives a message
// box over `parent` instead.
void OpenHelpTopic(const QString& helpFile, int topic, QWidget* parent);

} // namespace ormix

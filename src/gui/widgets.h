// The small controls every window builds the same way: flat buttons, the bold
// "?" help button, named labels and check boxes, sunken text panels and number
// fields. Each gets its object name, which placement keys and tests go by.
// Tests: the window tests (tests/gui).
#pragma once

#include <QString>
#include <Qt>

class QCheckBox;
class QLabel;
class QToolButton;
class QWidget;

namespace ormix {

class NumberField;

// A flat (auto-raise) tool button with a text and a hint.
QToolButton* flatButton(QWidget* parent, const char* name, const QString& text, const QString& hint,
                        Qt::ToolButtonStyle style = Qt::ToolButtonIconOnly);
// A small flat "?" in bold with the hint "Справка".
QToolButton* helpButton(QWidget* parent, const char* name);
QLabel* namedLabel(QWidget* parent, const char* name, const QString& text);
// A label in a sunken panel, as the status lines and counters are shown.
QLabel* framedLabel(QWidget* parent, const char* name, const QString& text, const QString& hint);
QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text, const QString& hint = {});
NumberField* numberField(QWidget* parent, const char* name, int minimum, int maximum);

} // namespace ormix

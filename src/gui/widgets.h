// The small controls every window builds the same way: flat buttons, the bold
// "?" help button, push buttons, named labels and check boxes, sunken text
// panels, text fields and number fields. Each gets its object name, which
// placement keys and tests go by.
// Tests: the window tests (tests/gui).
#pragma once

#include <QRect>
#include <QString>
#include <Qt>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace ormix {

class NumberField;

// A flat (auto-raise) tool button with a text and a hint.
QToolButton* flatButton(QWidget* parent, const char* name, const QString& text, const QString& hint,
                        Qt::ToolButtonStyle style = Qt::ToolButtonIconOnly);
// A flat tool button that shows only picture `picture` of the program's icons.
QToolButton* iconButton(QWidget* parent, const char* name, int picture, const QString& hint);
// A small flat "?" in bold with the hint "Справка".
QToolButton* helpButton(QWidget* parent, const char* name);
// A push button that Enter in the dialog does not press.
QPushButton* pushButton(QWidget* parent, const char* name, const QString& text, const QString& hint = {});
// A label; a null name leaves it without an object name.
QLabel* namedLabel(QWidget* parent, const char* name, const QString& text);
// A label at a fixed place, for windows laid out by hand.
QLabel* placedLabel(QWidget* parent, const char* name, const QString& text, QRect where);
// A label in a sunken panel, as the status lines and counters are shown.
QLabel* framedLabel(QWidget* parent, const char* name, const QString& text, const QString& hint);
QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text, const QString& hint = {});
QLineEdit* textField(QWidget* parent, const char* name);
// A text field that shows its text as dots.
QLineEdit* passwordField(QWidget* parent, const char* name);
NumberField* numberField(QWidget* parent, const char* name, int minimum, int maximum);

} // namespace ormix

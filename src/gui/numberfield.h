// A whole-number field with bounds, as the settings window uses it: digits
// only (no sign), no arrows, and a value outside the bounds may be typed but is
// replaced by the nearest bound when the field is left or committed.
#pragma once

#include <QSpinBox>

namespace ormix {

class NumberField : public QSpinBox {
    Q_OBJECT
public:
    NumberField(int minimum, int maximum, QWidget* parent = nullptr);

    // Takes what is typed (brought within the bounds) as the value and returns it.
    int CommittedValue();

protected:
    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;
    int valueFromText(const QString& text) const override;

private:
    int clampText(const QString& text) const;
};

} // namespace ormix

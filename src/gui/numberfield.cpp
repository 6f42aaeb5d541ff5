// NumberField; see numberfield.h.
#include "gui/numberfield.h"

#include <algorithm>

namespace ormix {
namespace {

// Longer digit runs would overflow; no bound of ours needs more.
constexpr int kMaxDigits = 9;

bool allDigits(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

NumberField::NumberField(int minimum, int maximum, QWidget* parent) : QSpinBox(parent) {
    setRange(minimum, maximum);
    setButtonSymbols(QAbstractSpinBox::NoButtons);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

int NumberField::CommittedValue() {
    interpretText();
    return value();
}

QValidator::State NumberField::validate(QString& text, int&) const {
    if (text.isEmpty())
        return QValidator::Intermediate;
    if (text.size() > kMaxDigits || !allDigits(text))
        return QValidator::Invalid;
    const int v = text.toInt();
    return (v >= minimum() && v <= maximum()) ? QValidator::Acceptable : QValidator::Intermediate;
}

void NumberField::fixup(QString& text) const {
    text = QString::number(clampText(text));
}

int NumberField::valueFromText(const QString& text) const {
    return clampText(text);
}

int NumberField::clampText(const QString& text) const {
    // An empty field counts as 0, which the lower bound then corrects.
    const int v = (text.size() <= kMaxDigits && allDigits(text)) ? text.toInt() : 0;
    return std::clamp(v, minimum(), maximum());
}

} // namespace ormix

// The shared controls; see widgets.h.
#include "gui/widgets.h"

#include "gui/numberfield.h"

#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QToolButton>

namespace ormix {

QToolButton* flatButton(QWidget* parent, const char* name, const QString& text, const QString& hint,
                        Qt::ToolButtonStyle style) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoRaise(true);
    b->setText(text);
    b->setToolTip(hint);
    b->setToolButtonStyle(style);
    return b;
}

QToolButton* helpButton(QWidget* parent, const char* name) {
    QToolButton* b = flatButton(parent, name, QStringLiteral("?"), QStringLiteral("Справка"),
                                Qt::ToolButtonTextBesideIcon);
    QFont bold = b->font();
    bold.setBold(true);
    b->setFont(bold);
    return b;
}

QLabel* namedLabel(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QLabel* framedLabel(QWidget* parent, const char* name, const QString& text, const QString& hint) {
    QLabel* l = namedLabel(parent, name, text);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setToolTip(hint);
    return l;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text, const QString& hint) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setToolTip(hint);
    return c;
}

NumberField* numberField(QWidget* parent, const char* name, int minimum, int maximum) {
    auto* f = new NumberField(minimum, maximum, parent);
    f->setObjectName(QString::fromLatin1(name));
    return f;
}

} // namespace ormix

// The shared controls; see widgets.h.
#include "gui/widgets.h"

#include "gui/icons.h"
#include "gui/numberfield.h"

#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

QToolButton* iconButton(QWidget* parent, const char* name, int picture, const QString& hint) {
    QToolButton* b = flatButton(parent, name, QString(), hint);
    b->setIcon(ormixIcon(picture));
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

QPushButton* pushButton(QWidget* parent, const char* name, const QString& text, const QString& hint) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
}

QLabel* namedLabel(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    return l;
}

QLabel* placedLabel(QWidget* parent, const char* name, const QString& text, QRect where) {
    QLabel* l = namedLabel(parent, name, text);
    l->setGeometry(where);
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

QLineEdit* textField(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QLineEdit* passwordField(QWidget* parent, const char* name) {
    QLineEdit* e = textField(parent, name);
    e->setEchoMode(QLineEdit::Password);
    return e;
}

NumberField* numberField(QWidget* parent, const char* name, int minimum, int maximum) {
    auto* f = new NumberField(minimum, maximum, parent);
    f->setObjectName(QString::fromLatin1(name));
    return f;
}

} // namespace ormix

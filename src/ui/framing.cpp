#include "ui/framing.h"

#include "util/workareageometry.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace framing {

void placeBL(QWidget* child, QWidget* parent, double x, double y, double w, double h)
{
    child->setParent(parent);
    child->setGeometry(int(x), int(workarea::flippedY(parent->height(), y, h)), int(w), int(h));
    child->show();
}

void placeTL(QWidget* child, QWidget* parent, double x, double y, double w, double h)
{
    child->setParent(parent);
    child->setGeometry(int(x), int(y), int(w), int(h));
    child->show();
}

QLabel* label(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setAccessibleName(text);
    return l;
}

QLineEdit* field(const QString& text, QWidget* parent, const QString& accessibleName)
{
    auto* f = new QLineEdit(text, parent);
    f->setAccessibleName(accessibleName);
    return f;
}

QPushButton* button(const QString& title, QWidget* parent)
{
    auto* b = new QPushButton(title, parent);
    b->setAccessibleName(title);
    return b;
}

}  // namespace framing

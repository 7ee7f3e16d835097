#pragma once

#include "ui/framing.h"

#include <QLabel>
#include <QString>
#include <QWidget>

// The frames the tool panes are laid out in: a pane fills the left column, panels sit in it at
// bottom-left coordinates, as the design gives them.
namespace panelayout {

constexpr int kLeftWidth = 200;
constexpr int kTopHeight = 58;
constexpr int kPaneHeight = 600;

inline QWidget* pane(QWidget* parent, const QString& name)
{
    auto* pane = new QWidget(parent);
    pane->setObjectName(name);
    pane->setAccessibleName(name);
    pane->setFixedSize(kLeftWidth, kPaneHeight);
    pane->move(0, 0);
    pane->hide();
    return pane;
}

inline QWidget* panel(QWidget* pane, const QString& name, double x, double y, double w, double h)
{
    auto* panel = new QWidget;
    panel->setObjectName(name);
    panel->setFixedSize(int(w), int(h));
    framing::placeBL(panel, pane, x, y, w, h);
    return panel;
}

inline QLabel* caption(const QString& text, QWidget* parent, double x, double y, double w, double h)
{
    QLabel* l = framing::label(text, parent);
    framing::placeBL(l, parent, x, y, w, h);
    return l;
}

}  // namespace panelayout

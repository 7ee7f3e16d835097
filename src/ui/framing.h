#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Building blocks for panes laid out with bottom-left frames, as the panes are described.
namespace framing {

// Puts `child` into `parent` at the bottom-left frame (x, y, w, h); the parent's height must be
// set already.
void placeBL(QWidget* child, QWidget* parent, double x, double y, double w, double h);
// Same with a top-left frame, for flipped parents.
void placeTL(QWidget* child, QWidget* parent, double x, double y, double w, double h);

QLabel* label(const QString& text, QWidget* parent);
QLineEdit* field(const QString& text, QWidget* parent, const QString& accessibleName);
QPushButton* button(const QString& title, QWidget* parent);

}  // namespace framing

#include "results/ui/rotatedlabel.h"

#include <QPainter>

RotatedLabel::RotatedLabel(const QString& text, QWidget* parent) : QWidget(parent), m_text(text)
{
    setAccessibleName(text.section(QLatin1Char('\n'), 0, 0));
}

void RotatedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(Qt::black);
    // Turn the box so its width runs up the widget's left side, as the unrotated text's lines
    // would read from bottom to top.
    painter.translate(0, height());
    painter.rotate(-90);
    painter.drawText(QRectF(0, 0, height(), width()), Qt::AlignCenter, m_text);
}

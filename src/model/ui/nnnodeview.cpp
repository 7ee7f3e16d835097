#include "model/ui/nnnodeview.h"

#include <QLabel>
#include <QPainter>

namespace {
QLabel* line(const QString& text, QWidget* parent, int y, int height)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(0, y, 200, height);
    label->setIndent(6);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}
}  // namespace

NNnodeview::NNnodeview(QWidget* parent) : QWidget(parent) { commoninit(); }

void NNnodeview::commoninit()
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
    layername = line(QStringLiteral("Layer"), this, 2, 20);
    classname = line(QStringLiteral("Class name"), this, 22, 20);
    inboundname = line(QStringLiteral("Inbound Name"), this, 42, 38);
}

void NNnodeview::setBorderWidth(double width)
{
    m_borderWidth = width;
    update();
}

void NNnodeview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QPen(QColor(190, 190, 190), 1));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    if (m_borderWidth > 0) {
        const double half = m_borderWidth / 2;
        painter.setPen(QPen(QColor(255, 165, 0), m_borderWidth));
        painter.drawRect(QRectF(rect()).adjusted(half, half, -half, -half));
    }
}

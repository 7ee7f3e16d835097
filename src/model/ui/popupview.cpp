#include "model/ui/popupview.h"

#include <QPainter>

popupview::popupview(QWidget* parent) : QWidget(parent) {}

void popupview::setFramed(bool framed)
{
    m_framed = framed;
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Base, Qt::white);
    setPalette(p);
    update();
}

void popupview::paintEvent(QPaintEvent*)
{
    if (!m_framed)
        return;
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

#include "results/ui/metricimageview.h"

#include <QPainter>
#include <algorithm>

MetricImageView::MetricImageView(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("metricview"));
    setAccessibleName(QStringLiteral("Metrics image"));
}

void MetricImageView::setImage(const QImage& image)
{
    m_image = image;
    update();
}

QRectF MetricImageView::imageRect() const
{
    if (m_image.isNull() || m_image.width() <= 0 || m_image.height() <= 0)
        return QRectF();
    const double factor = std::min(double(width()) / m_image.width(), double(height()) / m_image.height());
    const QSizeF shown(m_image.width() * factor, m_image.height() * factor);
    return QRectF(QPointF(0, height() - shown.height()), shown);
}

void MetricImageView::paintEvent(QPaintEvent*)
{
    const QRectF target = imageRect();
    if (target.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, m_image);
}

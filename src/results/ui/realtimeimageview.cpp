#include "results/ui/realtimeimageview.h"

#include "results/chartgeometry.h"

#include <QPainter>
#include <QPainterPath>

namespace {
const QColor kLightGray(170, 170, 170);
const QColor kBlue(0, 0, 255);
const QColor kOrange(255, 128, 0);

// The chart is laid out with the origin at the bottom-left; the widget's is at the top-left.
struct Flip {
    double height;
    QPointF point(const QPointF& p) const { return QPointF(p.x(), height - p.y()); }
    QRectF rect(const QRectF& r) const { return QRectF(r.x(), height - r.y() - r.height(), r.width(), r.height()); }
    QLineF line(const QLineF& l) const { return QLineF(point(l.p1()), point(l.p2())); }
};

void drawDots(QPainter& painter, const Flip& flip, const std::vector<QRectF>& squares, const QColor& colour)
{
    painter.setPen(QPen(colour, 1));
    painter.setBrush(colour);
    for (const QRectF& square : squares)
        painter.drawEllipse(flip.rect(square));
}
}  // namespace

RealTimeImageView::RealTimeImageView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("painres"));
    setAccessibleName(QStringLiteral("Training chart"));
}

void RealTimeImageView::setPoints(const ChartPoints& points)
{
    state.valid_x = points.valid_x;
    state.valid_y = points.valid_y;
    state.train_x = points.train_x;
    state.train_y = points.train_y;
    update();
}

void RealTimeImageView::paintEvent(QPaintEvent*)
{
    state.drawsize = QSizeF(chartgeometry::kDrawSide, chartgeometry::kDrawSide);
    const std::optional<chartgeometry::Geometry> g = chartgeometry::layout(state);
    if (!g)
        return;
    const Flip flip{double(height())};
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    QVector<QLineF> grid;
    grid.reserve(qsizetype(g->grid.size()));
    for (const QLineF& l : g->grid)
        grid.append(flip.line(l));
    painter.setPen(QPen(kLightGray, 0.3));
    painter.drawLines(grid);

    painter.setPen(QPen(kLightGray, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(flip.rect(g->legendBox));
    drawDots(painter, flip, {g->trainMarker}, kBlue);
    drawDots(painter, flip, {g->validMarker}, kOrange);

    painter.setPen(Qt::black);
    QFont small = font();
    small.setPixelSize(9);
    for (const chartgeometry::Text& t : g->texts) {
        // Legend entries keep the default font; the axis texts sit in 10-point-high boxes.
        painter.setFont(t.rect.height() < 20 ? small : font());
        const Qt::Alignment across = t.centred ? Qt::AlignHCenter : Qt::AlignLeft;
        painter.drawText(flip.rect(t.rect), across | Qt::AlignTop | Qt::TextDontClip, t.text);
    }

    drawDots(painter, flip, g->trainPoints, kBlue);
    drawDots(painter, flip, g->validPoints, kOrange);
}

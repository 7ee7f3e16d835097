#include "data/ui/paintableimageview.h"

#include "data/tilegeometry.h"
#include "util/diagnostics.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <cmath>

using namespace tilegeometry;

namespace {
constexpr double kLineWidth = 1;
constexpr double kMarkWidth = 5;
constexpr double kCircleOutlineWidth = 3;

QString sizeWords(const QSizeF& s) { return QStringLiteral("(%1, %2)").arg(s.width()).arg(s.height()); }

}  // namespace

// A circle drawn once and copied to every tile that needs one: a large grid may show thousands,
// and stroking each anew costs far more than a frame.
PaintableImageView::CircleSprite PaintableImageView::circleSprite(const QColor& fill, const QColor& outline)
{
    const int side = int(std::ceil(10 + kCircleOutlineWidth)) + 2;
    CircleSprite sprite{fill, QImage(side, side, QImage::Format_ARGB32_Premultiplied), QPointF()};
    sprite.image.fill(Qt::transparent);
    QPainter p(&sprite.image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(outline, kCircleOutlineWidth));
    p.setBrush(fill);
    const QRectF circle((side - 10) / 2.0, (side - 10) / 2.0, 10, 10);
    p.drawEllipse(circle);
    p.end();
    sprite.inset = circle.topLeft();
    return sprite;
}

PaintableImageView::PaintableImageView(TileGridState& state, QWidget* parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("testview"));
    setAccessibleName(QStringLiteral("Tile grid"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_whiteCircle = circleSprite(gridLineColour(false), markColour(false));
    m_redCircle = circleSprite(markColour(false), gridLineColour(false));
}

void PaintableImageView::setImage(const QImage& image)
{
    m_image = image;
    m_scaled = QImage();
    update();
}

QSizeF PaintableImageView::fitArea() const { return m_state.viewsize.value_or(QSizeF(size())); }

const QImage& PaintableImageView::scaledImage(const QSize& size)
{
    if (m_image.isNull() || size.isEmpty())
        return m_image;
    if (m_scaled.size() == size)
        return m_scaled;
    // Sampling down to twice the target first keeps a smooth result while the cost stays
    // near the displayed size rather than the source size.
    QImage source = m_image;
    if (source.width() > 4 * size.width() && source.height() > 4 * size.height())
        source = source.scaled(size * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    m_scaled = source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return m_scaled;
}

void PaintableImageView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const double h = height();
    const TileGridPicture picture = composeTileGrid(m_state, fitArea());
    m_state.drawsize = picture.drawsize;
    diag::print("viewsize is", sizeWords(fitArea()), "ratio is", picture.factor);
    diag::print("self bounds size", sizeWords(size()), "imagesize", sizeWords(m_state.imagesize.value_or(QSizeF())));
    const QSize pixels(int(std::lround(picture.drawsize.width())), int(std::lround(picture.drawsize.height())));
    if (!m_image.isNull() && !pixels.isEmpty())
        painter.drawImage(QPointF(0, h - pixels.height()), scaledImage(pixels));
    describe(picture);
    if (!picture.grid)
        return;
    // Lines and marks are axis-aligned strokes: filled as rectangles they cost a fraction of
    // stroking, which keeps thousands of marks well within a frame.
    for (const QLineF& line : picture.lines)
        painter.fillRect(tilegeometry::toTopLeft(strokeRect(line, kLineWidth), h), picture.lineColour);
    for (const QLineF& mark : picture.marks)
        painter.fillRect(tilegeometry::toTopLeft(strokeRect(mark, kMarkWidth), h), picture.markColour);
    for (const PredictionCircle& c : picture.circles) {
        const QImage& sprite = c.fill == m_whiteCircle.fill ? m_whiteCircle.image : m_redCircle.image;
        const QPointF at = tilegeometry::toTopLeft(c.rect, h).topLeft() - m_whiteCircle.inset;
        painter.drawImage(QPointF(std::round(at.x()), std::round(at.y())), sprite);
    }
}

void PaintableImageView::describe(const TileGridPicture& picture)
{
    // The marks and circles said in words, for those who cannot see them.
    QString text;
    if (picture.grid) {
        text = QStringLiteral("%1 x %2 tiles, %3 marked").arg(m_state.colnum.value_or(0)).arg(m_state.rownum.value_or(0))
                   .arg(m_state.clickpoints.size());
        if (m_state.hasprediction)
            text += QStringLiteral(", %1 predicted \"1\", %2 circled where prediction and mark differ")
                        .arg(m_state.predictpoints.size())
                        .arg(picture.circles.size());
    }
    if (accessibleDescription() != text)
        setAccessibleDescription(text);
}

void PaintableImageView::mousePressEvent(QMouseEvent* event)
{
    if (!m_state.hasGrid() || !m_state.rownum || !m_state.colnum) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPointF p = clickPoint(event->position(), height());
    const TileGridPicture picture = composeTileGrid(m_state, fitArea());
    diag::print("event location: ", event->position().x(), event->position().y(), "view size", sizeWords(size()),
                "drawsize", sizeWords(picture.drawsize));
    diag::print("click point", p.x(), p.y());
    const auto tile = tileAt(p, picture.tile, *m_state.rownum, *m_state.colnum);
    if (!tile)
        return;
    const QRectF r = tileRect(*tile, picture.tile);
    diag::print("tile", r.x(), r.y(), r.width(), r.height(), "point", p.x(), p.y());
    toggleMark(m_state.clickpoints, *tile);
    update();
}

void PaintableImageView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The view fills the image view, so its size is the area the image is fitted into.
    m_state.viewsize = QSizeF(size());
}

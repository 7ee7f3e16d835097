#include "data/ui/paintableimageview.h"

#include "data/tilegeometry.h"
#include "data/tilegriddocument.h"
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
// How far a tile's mark and prediction circle reach past the tile itself.
constexpr int kTileOverdraw = 10;
// Past this many tiles a single repaint of the whole view is cheaper than one per tile.
constexpr int kMostTileRepaints = 64;

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

PaintableImageView::PaintableImageView(TileGridDocument& document, QWidget* parent) : QWidget(parent), m_document(document)
{
    setObjectName(QStringLiteral("testview"));
    setAccessibleName(QStringLiteral("Tile grid"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_whiteCircle = circleSprite(gridLineColour(false), markColour(false));
    m_redCircle = circleSprite(markColour(false), gridLineColour(false));
    connect(&document, &TileGridDocument::imageChanged, this, &PaintableImageView::imageChanged);
    connect(&document, &TileGridDocument::marksChanged, this, &PaintableImageView::marksChanged);
    connect(&document, &TileGridDocument::gridChanged, this, qOverload<>(&QWidget::update));
    connect(&document, &TileGridDocument::reversedChanged, this, qOverload<>(&QWidget::update));
    connect(&document, &TileGridDocument::predictionsChanged, this, qOverload<>(&QWidget::update));
}

const QImage& PaintableImageView::image() const { return m_document.image(); }

void PaintableImageView::imageChanged()
{
    m_scaled = QImage();
    update();
}

void PaintableImageView::marksChanged(const QList<TilePoint>& tiles)
{
    const TileGridState& state = m_document.state();
    if (tiles.size() > kMostTileRepaints || !state.rownum || !state.colnum) {
        update();
        return;
    }
    const TileGridPicture picture = composeTileGrid(state, fitArea());
    for (const TilePoint& tile : tiles) {
        const QRect r = toTopLeft(tileRect(tile, picture.tile), height()).toAlignedRect();
        update(r.adjusted(-kTileOverdraw, -kTileOverdraw, kTileOverdraw, kTileOverdraw));
    }
}

void PaintableImageView::setFitArea(const QSizeF& area)
{
    m_fitArea = area;
    update();
}

QSizeF PaintableImageView::fitArea() const { return m_fitArea.value_or(QSizeF(size())); }

const QImage& PaintableImageView::scaledImage(const QSize& size)
{
    const QImage& image = m_document.image();
    if (image.isNull() || size.isEmpty())
        return image;
    if (m_scaled.size() == size)
        return m_scaled;
    // Sampling down to twice the target first keeps a smooth result while the cost stays
    // near the displayed size rather than the source size.
    QImage source = image;
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
    const TileGridState& state = m_document.state();
    const TileGridPicture picture = composeTileGrid(state, fitArea());
    m_drawsize = picture.drawsize;
    diag::print("viewsize is", sizeWords(fitArea()), "ratio is", picture.factor);
    diag::print("self bounds size", sizeWords(size()), "imagesize", sizeWords(state.imagesize.value_or(QSizeF())));
    const QSize pixels(int(std::lround(picture.drawsize.width())), int(std::lround(picture.drawsize.height())));
    if (!m_document.image().isNull() && !pixels.isEmpty())
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
    const TileGridState& state = m_document.state();
    QString text;
    if (picture.grid) {
        text = QStringLiteral("%1 x %2 tiles, %3 marked").arg(state.colnum.value_or(0)).arg(state.rownum.value_or(0))
                   .arg(state.clickpoints.size());
        if (state.hasprediction)
            text += QStringLiteral(", %1 predicted \"1\", %2 circled where prediction and mark differ")
                        .arg(state.predictpoints.size())
                        .arg(picture.circles.size());
    }
    if (accessibleDescription() != text)
        setAccessibleDescription(text);
}

std::optional<TilePoint> PaintableImageView::tileUnder(const QPointF& position) const
{
    const TileGridState& state = m_document.state();
    if (!state.hasGrid() || !state.rownum || !state.colnum)
        return std::nullopt;
    const QPointF p = clickPoint(position, height());
    const TileGridPicture picture = composeTileGrid(state, fitArea());
    diag::print("event location: ", position.x(), position.y(), "view size", sizeWords(size()), "drawsize",
                sizeWords(picture.drawsize));
    diag::print("click point", p.x(), p.y());
    return tileAt(p, picture.tile, *state.rownum, *state.colnum);
}

void PaintableImageView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_document.state().hasGrid()) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (const auto tile = tileUnder(event->position()))
        m_document.beginStroke(*tile);
}

void PaintableImageView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (const auto tile = tileUnder(event->position()))
        m_document.extendStroke(*tile);
}

void PaintableImageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_document.endStroke();
    QWidget::mouseReleaseEvent(event);
}

void PaintableImageView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_fitArea.reset();
}

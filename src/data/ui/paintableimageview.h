#pragma once

#include "data/tilegeometry.h"
#include "data/tilegridstate.h"

class TileGridDocument;

#include <QImage>
#include <QWidget>

// The single image of a tile grid document with its grid, marks and prediction circles, fitted
// to the view and anchored at the bottom-left. A press on a tile starts a stroke that marks (or
// unmarks) every tile the pointer then crosses, as one undoable edit of the document. The view
// repaints when the document says something changed; it never writes the document's state.
class PaintableImageView : public QWidget {
    Q_OBJECT
public:
    PaintableImageView(TileGridDocument& document, QWidget* parent = nullptr);

    const QImage& image() const;
    // The area the image is fitted into until the view is next resized: the size it is about to
    // get, for clicks that come before its layout does. Its own size otherwise.
    void setFitArea(const QSizeF& area);
    // The displayed image's size at the last redraw.
    QSizeF drawSize() const { return m_drawsize; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QSizeF fitArea() const;
    std::optional<TilePoint> tileUnder(const QPointF& position) const;
    void imageChanged();
    // Repaints only the tiles whose marks changed.
    void marksChanged(const QList<TilePoint>& tiles);
    void describe(const tilegeometry::TileGridPicture& picture);
    // The image at its displayed size; rebuilt only when that size changes.
    const QImage& scaledImage(const QSize& size);

    struct CircleSprite {
        QColor fill;
        QImage image;
        QPointF inset;  // where the circle's 10 x 10 square starts in the image
    };
    static CircleSprite circleSprite(const QColor& fill, const QColor& outline);

    TileGridDocument& m_document;
    std::optional<QSizeF> m_fitArea;
    QSizeF m_drawsize{0, 0};
    QImage m_scaled;
    CircleSprite m_whiteCircle;
    CircleSprite m_redCircle;
};

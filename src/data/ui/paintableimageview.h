#pragma once

#include "data/tilegeometry.h"
#include "data/tilegridstate.h"

#include <QImage>
#include <QWidget>

// The single image with its tile grid, marks and prediction circles. It draws from the grid
// state it is given and toggles marks there when a tile is clicked once a grid is drawn.
class PaintableImageView : public QWidget {
    Q_OBJECT
public:
    PaintableImageView(TileGridState& state, QWidget* parent = nullptr);

    // The image to show; drawn fitted to the view, anchored at the bottom-left.
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QSizeF fitArea() const;
    void describe(const tilegeometry::TileGridPicture& picture);
    // The image at its displayed size; rebuilt only when that size changes.
    const QImage& scaledImage(const QSize& size);

    struct CircleSprite {
        QColor fill;
        QImage image;
        QPointF inset;  // where the circle's 10 x 10 square starts in the image
    };
    static CircleSprite circleSprite(const QColor& fill, const QColor& outline);

    TileGridState& m_state;
    QImage m_image;
    QImage m_scaled;
    CircleSprite m_whiteCircle;
    CircleSprite m_redCircle;
};

#pragma once

#include "data/tilegridstate.h"

#include <QColor>
#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <optional>
#include <vector>

// Geometry of the tile grid drawn over the displayed image. Everything here is in view points
// with the origin at the bottom-left and y growing upward; the widget converts once to draw.
namespace tilegeometry {

// Displayed tile size in points; fractional, so that tiles add up to the image they cover.
struct TileSize {
    double width = 0;
    double height = 0;
    bool operator==(const TileSize& o) const { return width == o.width && height == o.height; }
};

// Display scale: the largest that shows the whole image in the view (a wide image is fitted to
// the view's width, a tall one to its height). 0 when the image has no area.
double findratio(const QSizeF& image, const QSizeF& view);
QSizeF drawSize(const QSizeF& image, const QSizeF& view);

// A tile as it is cut from the image (whole pixels: image size / count, truncated) times the
// display factor, so that tile (i, j) is drawn exactly over the pixels it is cut from. 0 where a
// count is not positive.
TileSize displayedTileSize(const QSizeF& image, double factor, int rows, int cols);

// Tile (row i, column j) covers (j * tw, i * th, tw, th).
QRectF tileRect(TilePoint tile, TileSize size);

// The tile containing `p`: left and bottom edges inclusive, right and top edges exclusive.
// Absent outside the grid or when tiles have no area.
std::optional<TilePoint> tileAt(const QPointF& p, TileSize size, int rows, int cols);

// A click's point: the centre of the pixel under the pointer. `widgetPos` is in the widget's
// top-left coordinates; integer positions name pixels, which keeps clicks on a tile's first or
// last pixel row inside that tile.
QPointF clickPoint(const QPointF& widgetPos, double viewHeight);

// Bottom-left rectangle or line to the widget's top-left coordinates.
QRectF toTopLeft(const QRectF& rect, double viewHeight);
QLineF toTopLeft(const QLineF& line, double viewHeight);

// Each tile's left and top edges, merged into one vertical line per column and one horizontal
// line per row (the same pixels as per-tile segments, at a cost linear in the counts).
std::vector<QLineF> gridLines(TileSize size, int rows, int cols);

// A marked tile's left and top edges, for each mark in order (outside the grid too).
std::vector<QLineF> markLines(const std::vector<TilePoint>& marks, TileSize size);

// The area a square-capped stroke of `width` covers along an axis-aligned segment; filling it
// draws the same pixels as stroking, much faster when thousands of marks are shown.
QRectF strokeRect(const QLineF& segment, double width);

// The circle over a tile's top-left corner, (X - 5, Y + th, 10, 10), moved just inside `bounds`
// (the view, from its origin) where it would stick out: the left column's and the top row's
// circles would otherwise be cut in half.
QRectF predictionCircleRect(TilePoint tile, TileSize size, const QSizeF& bounds);

QColor gridLineColour(bool reversed);  // white, red when reversed
QColor markColour(bool reversed);      // red, white when reversed

struct PredictionCircle {
    TilePoint tile;
    QRectF rect;
    QColor fill;
    QColor outline;
};

// Circles for the tiles of the grid where marking and prediction disagree, in row-then-column
// order: a marked, unpredicted tile is white with a red outline, a predicted, unmarked one red
// with a white outline; reversing swaps the two colours. Circles stay inside `bounds`.
std::vector<PredictionCircle> predictionCircles(const TileGridState& state, TileSize size, const QSizeF& bounds);

// Marks a tile, or unmarks it when it is marked (its first occurrence goes).
void toggleMark(std::vector<TilePoint>& marks, TilePoint tile);

// Everything one redraw shows, computed from the state and the size fitted into.
struct TileGridPicture {
    double factor = 0;
    QSizeF drawsize{0, 0};
    bool grid = false;  // false: the image alone
    TileSize tile;
    QColor lineColour;
    QColor markColour;
    std::vector<QLineF> lines;
    std::vector<QLineF> marks;
    std::vector<PredictionCircle> circles;
};
TileGridPicture composeTileGrid(const TileGridState& state, const QSizeF& view);

}  // namespace tilegeometry

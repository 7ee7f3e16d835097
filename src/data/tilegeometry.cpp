#include "data/tilegeometry.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace tilegeometry {

double findratio(const QSizeF& image, const QSizeF& view)
{
    if (image.width() <= 0 || image.height() <= 0)
        return 0;
    // Fitting a landscape image to the width alone would push the top of a near-square one out
    // of the view, where its tiles can be neither seen nor clicked; the image always fits whole.
    return std::min(view.width() / image.width(), view.height() / image.height());
}

QSizeF drawSize(const QSizeF& image, const QSizeF& view)
{
    const double f = findratio(image, view);
    return QSizeF(image.width() * f, image.height() * f);
}

TileSize displayedTileSize(const QSizeF& image, double factor, int rows, int cols)
{
    // Truncating the displayed size instead drifts: 250 tiles of 2.9 points drawn as 2 cover
    // only two thirds of the image, and clicks land on tiles far from the pointer.
    TileSize s;
    if (rows > 0)
        s.height = std::trunc(image.height() / rows) * factor;
    if (cols > 0)
        s.width = std::trunc(image.width() / cols) * factor;
    return s;
}

QRectF tileRect(TilePoint tile, TileSize size)
{
    return QRectF(tile.col * size.width, tile.row * size.height, size.width, size.height);
}

std::optional<TilePoint> tileAt(const QPointF& p, TileSize size, int rows, int cols)
{
    if (size.width <= 0 || size.height <= 0 || p.x() < 0 || p.y() < 0)
        return std::nullopt;
    const double col = std::floor(p.x() / size.width);
    const double row = std::floor(p.y() / size.height);
    if (col >= cols || row >= rows)
        return std::nullopt;
    return TilePoint{int(row), int(col)};
}

QPointF clickPoint(const QPointF& widgetPos, double viewHeight)
{
    return QPointF(std::floor(widgetPos.x()) + 0.5, viewHeight - std::floor(widgetPos.y()) - 0.5);
}

QRectF toTopLeft(const QRectF& rect, double viewHeight)
{
    return QRectF(rect.x(), viewHeight - rect.y() - rect.height(), rect.width(), rect.height());
}

QLineF toTopLeft(const QLineF& line, double viewHeight)
{
    return QLineF(line.x1(), viewHeight - line.y1(), line.x2(), viewHeight - line.y2());
}

std::vector<QLineF> gridLines(TileSize size, int rows, int cols)
{
    std::vector<QLineF> lines;
    if (rows <= 0 || cols <= 0)
        return lines;
    const double top = double(rows) * size.height;
    const double right = double(cols) * size.width;
    // Columns (rows) of zero width (height) all fall on one line.
    const int verticals = size.width > 0 ? cols : 1;
    const int horizontals = size.height > 0 ? rows : 1;
    lines.reserve(size_t(verticals) + size_t(horizontals));
    for (int j = 0; j < verticals; ++j)
        lines.emplace_back(j * size.width, top, j * size.width, 0);
    for (int i = 0; i < horizontals; ++i) {
        const double y = (i + 1) * size.height;
        lines.emplace_back(0, y, right, y);
    }
    return lines;
}

std::vector<QLineF> markLines(const std::vector<TilePoint>& marks, TileSize size)
{
    std::vector<QLineF> lines;
    lines.reserve(marks.size() * 2);
    for (const TilePoint& t : marks) {
        const double x = t.col * size.width;
        const double y = t.row * size.height;
        lines.emplace_back(x, y + size.height, x, y);                       // left edge
        lines.emplace_back(x, y + size.height, x + size.width, y + size.height);  // top edge
    }
    return lines;
}

QRectF strokeRect(const QLineF& segment, double width)
{
    const double half = width / 2;
    const double left = std::min(segment.x1(), segment.x2());
    const double bottom = std::min(segment.y1(), segment.y2());
    return QRectF(left - half, bottom - half, std::abs(segment.dx()) + width, std::abs(segment.dy()) + width);
}

QRectF predictionCircleRect(TilePoint tile, TileSize size, const QSizeF& bounds)
{
    const QRectF r = tileRect(tile, size);
    const double x = std::max(0.0, std::min(r.x() - 5, bounds.width() - 10));
    const double y = std::max(0.0, std::min(r.y() + size.height, bounds.height() - 10));
    return QRectF(x, y, 10, 10);
}

QColor gridLineColour(bool reversed) { return reversed ? QColor(255, 0, 0) : QColor(255, 255, 255); }
QColor markColour(bool reversed) { return reversed ? QColor(255, 255, 255) : QColor(255, 0, 0); }

std::vector<PredictionCircle> predictionCircles(const TileGridState& state, TileSize size, const QSizeF& bounds)
{
    const int rows = state.rownum.value_or(0);
    const int cols = state.colnum.value_or(0);
    // Sorted lists rather than sets: a 250 x 250 grid may hold tens of thousands of each.
    auto inGrid = [&](const std::vector<TilePoint>& tiles) {
        std::vector<std::pair<int, int>> out;
        out.reserve(tiles.size());
        for (const TilePoint& t : tiles)
            if (t.row >= 0 && t.row < rows && t.col >= 0 && t.col < cols)
                out.emplace_back(t.row, t.col);
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return out;
    };
    const std::vector<std::pair<int, int>> marked = inGrid(state.clickpoints);
    const std::vector<std::pair<int, int>> predicted = inGrid(state.predictpoints);
    std::vector<std::pair<int, int>> disagree;
    std::set_symmetric_difference(marked.begin(), marked.end(), predicted.begin(), predicted.end(),
                                  std::back_inserter(disagree));
    const bool reversed = state.reversed();
    const QColor white = gridLineColour(false);
    const QColor red = markColour(false);
    std::vector<PredictionCircle> circles;
    circles.reserve(disagree.size());
    for (const auto& [row, col] : disagree) {
        const TilePoint tile{row, col};
        // A marked tile's circle is white on red; a predicted one's red on white.
        const bool isMarked = std::binary_search(marked.begin(), marked.end(), std::make_pair(row, col));
        const bool whiteFill = isMarked != reversed;
        circles.push_back({tile, predictionCircleRect(tile, size, bounds), whiteFill ? white : red, whiteFill ? red : white});
    }
    return circles;
}

void toggleMark(std::vector<TilePoint>& marks, TilePoint tile)
{
    const auto found = std::find(marks.begin(), marks.end(), tile);
    if (found != marks.end())
        marks.erase(found);
    else
        marks.push_back(tile);
}

TileGridPicture composeTileGrid(const TileGridState& state, const QSizeF& view)
{
    TileGridPicture picture;
    if (!state.imagesize)
        return picture;
    picture.factor = findratio(*state.imagesize, view);
    picture.drawsize = drawSize(*state.imagesize, view);
    if (!state.hasGrid() || !state.rownum || !state.colnum || *state.rownum <= 0 || *state.colnum <= 0)
        return picture;
    const int rows = *state.rownum;
    const int cols = *state.colnum;
    picture.grid = true;
    picture.tile = displayedTileSize(*state.imagesize, picture.factor, rows, cols);
    picture.lineColour = gridLineColour(state.reversed());
    picture.markColour = markColour(state.reversed());
    picture.lines = gridLines(picture.tile, rows, cols);
    picture.marks = markLines(state.clickpoints, picture.tile);
    if (state.hasprediction)
        picture.circles = predictionCircles(state, picture.tile, view);
    return picture;
}

}  // namespace tilegeometry

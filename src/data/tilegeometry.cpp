#include "data/tilegeometry.h"

#include <algorithm>
#include <cmath>
#include <set>
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

TileSize displayedTileSize(const QSizeF& drawsize, int rows, int cols)
{
    TileSize s;
    if (rows > 0)
        s.height = int(std::trunc(drawsize.height() / rows));
    if (cols > 0)
        s.width = int(std::trunc(drawsize.width() / cols));
    return s;
}

QRectF tileRect(TilePoint tile, TileSize size)
{
    return QRectF(double(tile.col) * size.width, double(tile.row) * size.height, size.width, size.height);
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
        lines.emplace_back(double(j) * size.width, top, double(j) * size.width, 0);
    for (int i = 0; i < horizontals; ++i) {
        const double y = double(i + 1) * size.height;
        lines.emplace_back(0, y, right, y);
    }
    return lines;
}

std::vector<QLineF> markLines(const std::vector<TilePoint>& marks, TileSize size)
{
    std::vector<QLineF> lines;
    lines.reserve(marks.size() * 2);
    for (const TilePoint& t : marks) {
        const double x = double(t.col) * size.width;
        const double y = double(t.row) * size.height;
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

QRectF predictionCircleRect(TilePoint tile, TileSize size)
{
    const QRectF r = tileRect(tile, size);
    return QRectF(r.x() - 5, r.y() + size.height, 10, 10);
}

QColor gridLineColour(bool reversed) { return reversed ? QColor(255, 0, 0) : QColor(255, 255, 255); }
QColor markColour(bool reversed) { return reversed ? QColor(255, 255, 255) : QColor(255, 0, 0); }

std::vector<PredictionCircle> predictionCircles(const TileGridState& state, TileSize size)
{
    std::vector<PredictionCircle> circles;
    const int rows = state.rownum.value_or(0);
    const int cols = state.colnum.value_or(0);
    auto key = [](const TilePoint& t) { return std::make_pair(t.row, t.col); };
    auto inGrid = [&](const TilePoint& t) { return t.row >= 0 && t.row < rows && t.col >= 0 && t.col < cols; };
    std::set<std::pair<int, int>> marked;
    std::set<std::pair<int, int>> predicted;
    for (const TilePoint& t : state.clickpoints)
        if (inGrid(t))
            marked.insert(key(t));
    for (const TilePoint& t : state.predictpoints)
        if (inGrid(t))
            predicted.insert(key(t));
    std::vector<std::pair<int, int>> disagree;
    std::set_symmetric_difference(marked.begin(), marked.end(), predicted.begin(), predicted.end(),
                                  std::back_inserter(disagree));
    const bool reversed = state.reversed();
    const QColor white = gridLineColour(false);
    const QColor red = markColour(false);
    circles.reserve(disagree.size());
    for (const auto& [row, col] : disagree) {
        const TilePoint tile{row, col};
        // A marked tile's circle is white on red; a predicted one's red on white.
        const bool whiteFill = (marked.count({row, col}) > 0) != reversed;
        circles.push_back({tile, predictionCircleRect(tile, size), whiteFill ? white : red, whiteFill ? red : white});
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
    picture.tile = displayedTileSize(picture.drawsize, rows, cols);
    picture.lineColour = gridLineColour(state.reversed());
    picture.markColour = markColour(state.reversed());
    picture.lines = gridLines(picture.tile, rows, cols);
    picture.marks = markLines(state.clickpoints, picture.tile);
    if (state.hasprediction)
        picture.circles = predictionCircles(state, picture.tile);
    return picture;
}

}  // namespace tilegeometry

#include "data/tilegriddocument.h"

#include "data/drawgridcommand.h"
#include "data/marktilescommand.h"
#include "data/reversegridcommand.h"

#include <algorithm>
#include <limits>

TileGridDocument::TileGridDocument(QObject* parent) : QObject(parent) {}

bool TileGridDocument::isMarked(TilePoint tile) const
{
    const std::vector<TilePoint>& marks = m_state.clickpoints;
    return std::find(marks.begin(), marks.end(), tile) != marks.end();
}

bool TileGridDocument::inGrid(TilePoint tile) const
{
    return m_state.hasGrid() && tile.row >= 0 && tile.col >= 0 && tile.row < m_state.rownum.value_or(0)
           && tile.col < m_state.colnum.value_or(0);
}

void TileGridDocument::openImage(const QString& path, const QImage& image)
{
    m_undo.clear();
    m_stroke = 0;
    m_image = image;
    m_imagePath = path;
    m_state.imagesize = QSizeF(image.size());
    m_state.gridstate = {0};
    m_state.clickpoints.clear();
    m_state.predictpoints.clear();
    m_state.hasprediction = false;
    Q_EMIT imageChanged();
    Q_EMIT changed();
}

void TileGridDocument::restoreGrid(int cols, int rows, bool drawn, const std::vector<TilePoint>& marks, bool reversed)
{
    m_undo.clear();
    m_stroke = 0;
    m_state.colnum = cols > 0 ? std::optional<int>(cols) : std::nullopt;
    m_state.rownum = rows > 0 ? std::optional<int>(rows) : std::nullopt;
    m_state.gridstate = {drawn ? 1 : 0};
    m_state.reverse = {reversed};
    m_state.clickpoints.clear();
    for (const TilePoint& tile : marks) {
        if (inGrid(tile) && !isMarked(tile))
            m_state.clickpoints.push_back(tile);
    }
    Q_EMIT gridChanged();
    Q_EMIT reversedChanged(reversed);
    Q_EMIT changed();
}

int TileGridDocument::marksClearedBy(int cols, int rows) const
{
    const bool same = m_state.hasGrid() && m_state.colnum == cols && m_state.rownum == rows;
    return same ? 0 : int(m_state.clickpoints.size());
}

bool TileGridDocument::drawGrid(int cols, int rows)
{
    if (m_image.isNull() || cols < 1 || rows < 1 || cols > m_image.width() || rows > m_image.height()
        || (long long)cols * rows > std::numeric_limits<int>::max())
        return false;
    if (m_state.hasGrid() && m_state.colnum == cols && m_state.rownum == rows)
        return true;  // the same grid again keeps its marks; nothing to undo
    Grid grid;
    grid.colnum = cols;
    grid.rownum = rows;
    grid.gridstate = {1};
    m_undo.push(new DrawGridCommand(*this, std::move(grid)));
    return true;
}

void TileGridDocument::beginStroke(TilePoint tile)
{
    m_stroke = 0;
    if (!inGrid(tile))
        return;
    m_stroke = ++m_strokes;
    m_strokeMarks = !isMarked(tile);
    strokeTile(tile);
}

void TileGridDocument::extendStroke(TilePoint tile)
{
    if (m_stroke != 0 && inGrid(tile) && isMarked(tile) != m_strokeMarks)
        strokeTile(tile);
}

void TileGridDocument::endStroke() { m_stroke = 0; }

void TileGridDocument::toggleMark(TilePoint tile)
{
    beginStroke(tile);
    endStroke();
}

void TileGridDocument::strokeTile(TilePoint tile)
{
    std::vector<TilePoint> marks = m_state.clickpoints;
    if (m_strokeMarks)
        marks.push_back(tile);
    else
        marks.erase(std::find(marks.begin(), marks.end(), tile));
    m_undo.push(new MarkTilesCommand(*this, std::move(marks), tile, m_strokeMarks, m_stroke));
}

void TileGridDocument::reverse() { m_undo.push(new ReverseGridCommand(*this)); }

void TileGridDocument::setPredictions(const std::vector<TilePoint>& tiles)
{
    m_state.predictpoints = tiles;
    m_state.hasprediction = true;
    Q_EMIT predictionsChanged();
}

void TileGridDocument::swapGrid(Grid& other)
{
    std::swap(m_state.colnum, other.colnum);
    std::swap(m_state.rownum, other.rownum);
    std::swap(m_state.gridstate, other.gridstate);
    std::swap(m_state.clickpoints, other.marks);
    std::swap(m_state.predictpoints, other.predictions);
    std::swap(m_state.hasprediction, other.hasprediction);
    Q_EMIT gridChanged();
    Q_EMIT changed();
}

void TileGridDocument::swapMarks(std::vector<TilePoint>& marks, const QList<TilePoint>& tiles)
{
    std::swap(m_state.clickpoints, marks);
    Q_EMIT marksChanged(tiles);
    Q_EMIT changed();
}

void TileGridDocument::swapReversed()
{
    const bool reversed = !m_state.reversed();
    m_state.reverse = {reversed};
    Q_EMIT reversedChanged(reversed);
    Q_EMIT changed();
}

#include "data/gridcounts.h"
#include "data/tilegeometry.h"

#include <gtest/gtest.h>

using namespace tilegeometry;

namespace {
TileGridState gridState(std::vector<TilePoint> marks = {}, std::vector<TilePoint> predicted = {})
{
    TileGridState s;
    s.imagesize = QSizeF(1000, 500);
    s.viewsize = QSizeF(800, 600);
    s.rownum = 5;
    s.colnum = 10;
    s.gridstate = {1, 0};
    s.clickpoints = std::move(marks);
    s.predictpoints = std::move(predicted);
    return s;
}

TEST(Fitting, FactorDrawSizeAndDisplayedTilesOverTheirPixels)
{
    const struct Case { QSizeF image, view; int rows, cols; double factor; QSizeF drawsize; TileSize tile; } cases[] = {
        {{1000, 500}, {800, 600}, 5, 10, 0.8, {800, 400}, {80, 80}},               // landscape fits the width
        {{600, 900}, {800, 600}, 3, 4, 600.0 / 900, {400, 600}, {100, 200}},      // portrait fits the height
        {{1000, 900}, {800, 300}, 1, 1, 1.0 / 3, {1000.0 / 3, 300}, {1000.0 / 3, 300}},  // near-square landscape stays inside
        {{100, 50}, {100, 600}, 3, 3, 1.0, {100, 50}, {33, 16}},                  // tiles of whole pixels, as cut
        {{1000, 500}, {800, 600}, 1, 3, 0.8, {800, 400}, {333 * 0.8, 400}},       // 333-pixel tiles, not 800 / 3
        // 250 x 250 tiles of 80 pixels over 20,000: 2.908 points each, 727 points edge to edge.
        {{20000, 20000}, {1000, 727}, 250, 250, 727.0 / 20000, {727, 727}, {2.908, 2.908}},
        {{0, 0}, {800, 600}, 2, 2, 0.0, {0, 0}, {0, 0}},                          // no image
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.image.width() << "x" << c.image.height() << " in " << c.view.width());
        EXPECT_DOUBLE_EQ(findratio(c.image, c.view), c.factor);
        const QSizeF drawn = drawSize(c.image, c.view);
        EXPECT_LT(std::abs(drawn.width() - c.drawsize.width()) + std::abs(drawn.height() - c.drawsize.height()), 1e-9);
        const TileSize tile = displayedTileSize(c.image, c.factor, c.rows, c.cols);
        EXPECT_NEAR(tile.width, c.tile.width, 1e-9);
        EXPECT_NEAR(tile.height, c.tile.height, 1e-9);
    }
}

TEST(Fitting, BadCountsAreRefusedWithAReason)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"abc", "5", "reads as 0"}, {"-3", "5", "reads as -3"}, {"99999999999", "1", "too large"}, {"2.5", "5", "not a whole"},
        {"1", "100001", "100000 pixels high"}};
    for (const auto& [cols, rows, mentions] : cases) {
        const gridcounts::GridCountsResult r = gridcounts::readGridCounts(cols, rows, QSize(100000, 100000));
        EXPECT_FALSE(r.counts) << cols << " x " << rows;
        EXPECT_TRUE(r.error.contains(QString::fromUtf8(mentions))) << r.error.toStdString();
    }
}

TEST(HitTest, LeftAndBottomInclusiveRightAndTopExclusive)
{
    const std::pair<QPointF, std::optional<TilePoint>> cases[] = {
        {{0, 0}, TilePoint{0, 0}},  {{79.9, 79.9}, TilePoint{0, 0}}, {{80, 0}, TilePoint{0, 1}}, {{0, 80}, TilePoint{1, 0}},
        {{800, 10}, std::nullopt}, {{10, 400}, std::nullopt},       {{-0.5, 10}, std::nullopt}};
    for (const auto& [point, tile] : cases)
        EXPECT_EQ(tileAt(point, TileSize{80, 80}, 5, 10), tile) << point.x() << "," << point.y();
    EXPECT_FALSE(tileAt({0, 0}, TileSize{0, 80}, 5, 1000));  // tiles without area are never hit
    EXPECT_FALSE(tileAt({0, 0}, TileSize{80, 0}, 1000, 5));
    // Clicks hit at the pixel centre counted from the bottom: in a 600-high view the top row is at 599.5.
    EXPECT_EQ(clickPoint({0, 0}, 600), QPointF(0.5, 599.5));
    EXPECT_EQ(clickPoint({0.7, 599.2}, 600), QPointF(0.5, 0.5));
    EXPECT_EQ(tileAt(clickPoint({0, 520}, 600), TileSize{80, 80}, 5, 10), (TilePoint{0, 0}));
    EXPECT_EQ(tileAt(clickPoint({0, 519}, 600), TileSize{80, 80}, 5, 10), (TilePoint{1, 0}));
    // On the 20,000-pixel image a click marks the tile whose pixels lie under the pointer: the
    // point 600 shows pixel 16,506, in tile 206; 726.5, the last point, is in the last tile.
    const TileSize fine = displayedTileSize({20000, 20000}, 727.0 / 20000, 250, 250);
    EXPECT_EQ(tileAt({600.5, 0.5}, fine, 250, 250), (TilePoint{0, 206}));
    EXPECT_EQ(tileAt({400.5, 726.5}, fine, 250, 250), (TilePoint{249, 137}));
    EXPECT_EQ(tileAt({726.5, 0.5}, fine, 250, 250), (TilePoint{0, 249}));
}

TEST(Lines, GridSkipsTheOuterBottomAndRightEdgesAndNoGridDrawsNothing)
{
    const std::vector<QLineF> lines = gridLines(TileSize{80, 80}, 5, 10);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(gridLines(TileSize{0, 80}, 5, 1000).size(), 6u);  // zero-width columns: one line

    TileGridState s = gridState({{0, 0}});
    s.gridstate = {0};
    const TileGridPicture p = composeTileGrid(s, *s.viewsize);
    EXPECT_FALSE(p.grid);
    EXPECT_TRUE(p.lines.empty() && p.marks.empty());
    s.imagesize.reset();
    EXPECT_EQ(composeTileGrid(s, *s.viewsize).drawsize, QSizeF(0, 0));
}

// The colours of marked, predicted and reversed tiles, and a circle cut by the view's edge, are
// checked on the drawn view.
TEST(Circles, OnlyWhereMarkAndPredictionDisagreeInRowThenColumnOrder)
{
    const std::pair<TileGridState, std::vector<TilePoint>> cases[] = {
        {gridState({{3, 0}, {0, 5}}, {{0, 2}, {3, 0}}), {{0, 2}, {0, 5}}},
        {gridState({{7, 1}}, {{1, 12}}), {}},  // outside the grid: none
    };
    for (const auto& [state, circled] : cases) {
        std::vector<TilePoint> tiles;
        for (const PredictionCircle& circle : predictionCircles(state, TileSize{80, 80}, QSizeF(800, 600)))
            tiles.push_back(circle.tile);
        EXPECT_EQ(tiles, circled);
    }
    TileGridState s = gridState({{1, 1}});  // drawn only while predictions are shown
    EXPECT_TRUE(composeTileGrid(s, *s.viewsize).circles.empty());
    s.hasprediction = true;
    EXPECT_EQ(composeTileGrid(s, *s.viewsize).circles.size(), 1u);
    // Over a tile's top-left corner, moved inside the view where that corner is on its edge.
    EXPECT_EQ(predictionCircleRect({1, 1}, TileSize{80, 80}, QSizeF(800, 400)), QRectF(75, 160, 10, 10));
    EXPECT_EQ(predictionCircleRect({1, 0}, TileSize{80, 80}, QSizeF(800, 400)), QRectF(0, 160, 10, 10));
}

}  // namespace

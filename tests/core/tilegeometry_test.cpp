#include "data/gridcounts.h"
#include "data/tilegeometry.h"

#include <gtest/gtest.h>

using namespace tilegeometry;

namespace {
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);

TileGridState gridState(int rows, int cols, std::vector<TilePoint> marks = {}, std::vector<TilePoint> predicted = {})
{
    TileGridState s;
    s.imagesize = QSizeF(1000, 500);
    s.viewsize = QSizeF(800, 600);
    s.rownum = rows;
    s.colnum = cols;
    s.gridstate = {1, 0};
    s.clickpoints = std::move(marks);
    s.predictpoints = std::move(predicted);
    return s;
}
}  // namespace

// ---- Fitting the image and cutting it into tiles ---------------------------------------------

struct FitCase {
    const char* name;
    QSizeF image;
    QSizeF view;
    int rows;
    int cols;
    double factor;
    QSizeF drawsize;
    TileSize tile;
};

class Fitting : public ::testing::TestWithParam<FitCase> {};

TEST_P(Fitting, FactorDrawSizeAndDisplayedTiles)
{
    const FitCase& c = GetParam();
    EXPECT_DOUBLE_EQ(findratio(c.image, c.view), c.factor) << c.name;
    const QSizeF drawn = drawSize(c.image, c.view);
    EXPECT_NEAR(drawn.width(), c.drawsize.width(), 1e-9) << c.name;
    EXPECT_NEAR(drawn.height(), c.drawsize.height(), 1e-9) << c.name;
    EXPECT_EQ(displayedTileSize(drawn, c.rows, c.cols), c.tile) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, Fitting, ::testing::Values(
    FitCase{"landscape fits the width", {1000, 500}, {800, 600}, 5, 10, 0.8, {800, 400}, {80, 80}},
    FitCase{"portrait fits the height", {600, 900}, {800, 600}, 3, 4, 600.0 / 900, {400, 600}, {100, 200}},
    FitCase{"square fits the height", {500, 500}, {800, 600}, 2, 2, 1.2, {600, 600}, {300, 300}},
    FitCase{"near-square landscape stays inside", {1000, 900}, {800, 300}, 1, 1, 1.0 / 3, {1000.0 / 3, 300}, {333, 300}},
    FitCase{"portrait in a narrow view", {600, 900}, {300, 600}, 1, 1, 0.5, {300, 450}, {300, 450}},
    FitCase{"tiles truncate", {100, 50}, {100, 600}, 3, 3, 1.0, {100, 50}, {33, 16}},
    FitCase{"more tiles than points", {1000, 500}, {800, 600}, 1000, 1000, 0.8, {800, 400}, {0, 0}},
    FitCase{"no image", {0, 0}, {800, 600}, 2, 2, 0.0, {0, 0}, {0, 0}}));

TEST(Fitting, ImageTileSizeAndCountsFromText)
{
    const gridcounts::GridCountsResult r = gridcounts::readGridCounts("10", "5", QSize(1000, 500));
    ASSERT_TRUE(r.counts);
    EXPECT_EQ(r.counts->gridnum, 50);
    EXPECT_EQ(r.counts->tileSize, QSize(100, 100));
    const gridcounts::GridCountsResult odd = gridcounts::readGridCounts("4abc", " 7", QSize(1001, 500));
    ASSERT_TRUE(odd.counts);
    EXPECT_EQ(odd.counts->cols, 4);
    EXPECT_EQ(odd.counts->rows, 7);
    EXPECT_EQ(odd.counts->tileSize, QSize(250, 71));
}

struct BadCountCase {
    const char* cols;
    const char* rows;
    const char* mentions;
};

class BadCounts : public ::testing::TestWithParam<BadCountCase> {};

TEST_P(BadCounts, AreRefusedWithAReason)
{
    const BadCountCase& c = GetParam();
    const gridcounts::GridCountsResult r = gridcounts::readGridCounts(c.cols, c.rows, QSize(100000, 100000));
    EXPECT_FALSE(r.counts) << c.cols << " x " << c.rows;
    EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.mentions))) << r.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Rows, BadCounts, ::testing::Values(
    BadCountCase{"0", "5", "column count"}, BadCountCase{"abc", "5", "reads as 0"},
    BadCountCase{"-3", "5", "reads as -3"}, BadCountCase{"5", "", "row count"},
    BadCountCase{"99999999999", "1", "too large"}, BadCountCase{"70000", "70000", "too many tiles"},
    BadCountCase{"100001", "1", "100000 pixels wide"}, BadCountCase{"1", "100001", "100000 pixels high"}));

// ---- Hit testing -----------------------------------------------------------------------------

struct HitCase {
    QPointF point;
    std::optional<TilePoint> tile;
};

class HitTest : public ::testing::TestWithParam<HitCase> {};

TEST_P(HitTest, LeftAndBottomInclusiveRightAndTopExclusive)
{
    const HitCase& c = GetParam();
    const std::optional<TilePoint> got = tileAt(c.point, TileSize{80, 80}, 5, 10);
    EXPECT_EQ(got.has_value(), c.tile.has_value()) << c.point.x() << "," << c.point.y();
    if (got && c.tile)
        EXPECT_EQ(*got, *c.tile) << c.point.x() << "," << c.point.y();
}

INSTANTIATE_TEST_SUITE_P(Rows, HitTest, ::testing::Values(
    HitCase{{0, 0}, TilePoint{0, 0}},
    HitCase{{79.9, 79.9}, TilePoint{0, 0}},
    HitCase{{80, 0}, TilePoint{0, 1}},       // right edge belongs to the next column
    HitCase{{0, 80}, TilePoint{1, 0}},       // top edge belongs to the next row
    HitCase{{60, 20}, TilePoint{0, 0}},
    HitCase{{799.5, 399.5}, TilePoint{4, 9}},
    HitCase{{800, 10}, std::nullopt},        // right of the grid
    HitCase{{10, 400}, std::nullopt},        // above the grid
    HitCase{{-0.5, 10}, std::nullopt},
    HitCase{{10, -0.5}, std::nullopt}));

TEST(HitTest, TilesWithoutAreaAreNeverHit)
{
    EXPECT_FALSE(tileAt({0, 0}, TileSize{0, 80}, 5, 1000));
    EXPECT_FALSE(tileAt({0, 0}, TileSize{80, 0}, 1000, 5));
}

TEST(HitTest, ClickPointIsThePixelCentreFromTheBottom)
{
    // A 600-high view: the pixel row at the top is 599.5 from the bottom, the last one 0.5.
    EXPECT_EQ(clickPoint({60, 579}, 600), QPointF(60.5, 20.5));
    EXPECT_EQ(clickPoint({0, 0}, 600), QPointF(0.5, 599.5));
    EXPECT_EQ(clickPoint({0.7, 599.2}, 600), QPointF(0.5, 0.5));
    // The first pixel row of tile row 0 (counted from the top) still hits row 0.
    EXPECT_EQ(tileAt(clickPoint({0, 520}, 600), TileSize{80, 80}, 5, 10), (TilePoint{0, 0}));
    EXPECT_EQ(tileAt(clickPoint({0, 519}, 600), TileSize{80, 80}, 5, 10), (TilePoint{1, 0}));
}

// ---- Marks -----------------------------------------------------------------------------------

TEST(Marks, ToggleAppendsOrRemovesTheFirstOccurrence)
{
    const TilePoint a{1, 2};
    const TilePoint b{3, 4};
    std::vector<TilePoint> marks;
    toggleMark(marks, a);
    toggleMark(marks, a);
    EXPECT_TRUE(marks.empty());
    toggleMark(marks, a);
    toggleMark(marks, b);
    toggleMark(marks, a);
    EXPECT_EQ(marks, (std::vector<TilePoint>{b}));
}

TEST(Marks, GridLinesCoverEveryTileEdgeButTheOuterBottomAndRight)
{
    const std::vector<QLineF> lines = gridLines(TileSize{80, 80}, 5, 10);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines.front(), QLineF(0, 400, 0, 0));       // left edge of column 0
    EXPECT_EQ(lines[9], QLineF(720, 400, 720, 0));        // left edge of the last column
    EXPECT_EQ(lines[10], QLineF(0, 80, 800, 80));         // top edge of row 0
    EXPECT_EQ(lines.back(), QLineF(0, 400, 800, 400));    // top edge of the last row
    EXPECT_EQ(gridLines(TileSize{0, 80}, 5, 1000).size(), 6u);  // zero-width columns: one line
}

TEST(Marks, MarkLinesAreTheTilesLeftAndTopEdges)
{
    const std::vector<QLineF> lines = markLines({{1, 2}, {9, 20}}, TileSize{80, 40});
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], QLineF(160, 80, 160, 40));
    EXPECT_EQ(lines[1], QLineF(160, 80, 240, 80));
    EXPECT_EQ(lines[2], QLineF(1600, 400, 1600, 360));  // outside the grid: drawn where it falls
}

TEST(Marks, ColoursSwapWhenReversed)
{
    TileGridState s = gridState(5, 10, {{0, 0}});
    TileGridPicture p = composeTileGrid(s, *s.viewsize);
    EXPECT_EQ(p.lineColour, kWhite);
    EXPECT_EQ(p.markColour, kRed);
    s.reverse = {true};
    p = composeTileGrid(s, *s.viewsize);
    EXPECT_EQ(p.lineColour, kRed);
    EXPECT_EQ(p.markColour, kWhite);
}

TEST(Marks, PictureWithoutGridIsTheImageAlone)
{
    TileGridState s = gridState(5, 10, {{0, 0}});
    s.gridstate = {0};
    const TileGridPicture p = composeTileGrid(s, *s.viewsize);
    EXPECT_FALSE(p.grid);
    EXPECT_EQ(p.drawsize, QSizeF(800, 400));
    EXPECT_TRUE(p.lines.empty());
    EXPECT_TRUE(p.marks.empty());
    s.imagesize.reset();
    EXPECT_EQ(composeTileGrid(s, *s.viewsize).drawsize, QSizeF(0, 0));
}

// ---- Prediction circles ----------------------------------------------------------------------

struct CircleCase {
    const char* name;
    std::vector<TilePoint> marks;
    std::vector<TilePoint> predicted;
    bool reversed;
    std::vector<TilePoint> circled;  // in drawing order
    QColor firstFill;
    QColor firstOutline;
};

class Circles : public ::testing::TestWithParam<CircleCase> {};

TEST_P(Circles, OnlyWhereMarkAndPredictionDisagree)
{
    const CircleCase& c = GetParam();
    TileGridState s = gridState(5, 10, c.marks, c.predicted);
    s.reverse = {c.reversed};
    const std::vector<PredictionCircle> circles = predictionCircles(s, TileSize{80, 80});
    std::vector<TilePoint> tiles;
    for (const PredictionCircle& circle : circles)
        tiles.push_back(circle.tile);
    EXPECT_EQ(tiles, c.circled) << c.name;
    if (!circles.empty()) {
        EXPECT_EQ(circles.front().fill, c.firstFill) << c.name;
        EXPECT_EQ(circles.front().outline, c.firstOutline) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Circles, ::testing::Values(
    CircleCase{"both: none", {{1, 1}}, {{1, 1}}, false, {}, {}, {}},
    CircleCase{"marked only: white, red outline", {{1, 1}}, {}, false, {{1, 1}}, kWhite, kRed},
    CircleCase{"predicted only: red, white outline", {}, {{2, 3}}, false, {{2, 3}}, kRed, kWhite},
    CircleCase{"marked only reversed", {{1, 1}}, {}, true, {{1, 1}}, kRed, kWhite},
    CircleCase{"predicted only reversed", {}, {{2, 3}}, true, {{2, 3}}, kWhite, kRed},
    CircleCase{"row-then-column order", {{3, 0}, {0, 5}}, {{0, 2}, {3, 0}}, false, {{0, 2}, {0, 5}}, kRed, kWhite},
    CircleCase{"outside the grid: none", {{7, 1}}, {{1, 12}}, false, {}, {}, {}}));

TEST(Circles, SitOnTheTilesTopLeftCornerAndOnlyWhenPredictionsAreShown)
{
    EXPECT_EQ(predictionCircleRect(TilePoint{1, 2}, TileSize{80, 40}), QRectF(155, 80, 10, 10));
    TileGridState s = gridState(5, 10, {{1, 1}});
    EXPECT_TRUE(composeTileGrid(s, *s.viewsize).circles.empty());
    s.hasprediction = true;
    EXPECT_EQ(composeTileGrid(s, *s.viewsize).circles.size(), 1u);
}

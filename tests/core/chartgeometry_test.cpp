#include "results/chartgeometry.h"

#include <gtest/gtest.h>

namespace {
ChartState configured(int epochs)
{
    ChartState s;
    s.rownum = 100;
    s.colnum = epochs;
    s.checkstate.insert(s.checkstate.begin(), 1);
    s.drawsize = QSizeF(chartgeometry::kDrawSide, chartgeometry::kDrawSide);
    return s;
}

TEST(ChartGrid, HasOneColumnPerEpochAHundredRowsAndTickTexts)
{
    const struct Case {
        int epochs;
        int xstep;
        double gridRight;  // right end of the top edges
        QStringList ticks;
    } cases[] = {{10, 40, 420, {"1", "2", "3", "4", "5", "6", "7", "8", "9"}}, {7, 57, 419, {"1", "2", "3", "4", "5", "6"}},
                 {1, 400, 420, {}}};
    for (const Case& c : cases) {
        const std::optional<chartgeometry::Geometry> g = chartgeometry::layout(configured(c.epochs));
        ASSERT_TRUE(g);
        EXPECT_EQ(g->ystep, 4);
        EXPECT_EQ(g->xstep, c.xstep);
        ASSERT_EQ(g->grid.size(), size_t(100 * c.epochs * 2));
        double left = 1e9, bottom = 1e9, right = 0, top = 0;
        for (const QLineF& l : g->grid) {
            left = std::min({left, l.x1(), l.x2()});
            bottom = std::min({bottom, l.y1(), l.y2()});
            right = std::max({right, l.x1(), l.x2()});
            top = std::max({top, l.y1(), l.y2()});
            if (l.y1() == l.y2())
                EXPECT_GE(l.y1(), 24) << "no line runs along the bottom edge";
        }
        EXPECT_EQ(QRectF(QPointF(left, bottom), QPointF(right, top)), QRectF(QPointF(20, 20), QPointF(c.gridRight, 420)));
        QStringList texts;
        for (const chartgeometry::Text& t : g->texts)
            texts << t.text;
        EXPECT_EQ(texts, QStringList({"Train Acc", "Valid Acc", "Eporch:"}) + c.ticks);
        for (size_t k = 2; k < g->texts.size(); ++k)
            EXPECT_EQ(g->texts[k].rect, QRectF(20 + double(k == 2 ? 0 : k - 2) * c.xstep, 13, c.xstep, 10));
    }
}

TEST(ChartGrid, ColumnsNarrowerThanAPointCollapseOntoOneLine)
{
    const std::optional<chartgeometry::Geometry> g = chartgeometry::layout(configured(500));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->xstep, 0);
    EXPECT_EQ(g->grid.size(), 200u);
    EXPECT_EQ(g->texts.size(), 3u);
}

TEST(ChartLegend, SitsAtHalfHeightBesideTheGrid)
{
    const std::optional<chartgeometry::Geometry> g = chartgeometry::layout(configured(10));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->legendBox, QRectF(425, 200, 80, 40));
    EXPECT_EQ(g->trainMarker, QRectF(435, 225, 5, 5));
    EXPECT_EQ(g->validMarker, QRectF(435, 205, 5, 5));
    EXPECT_EQ(g->texts[0].rect, QRectF(440, 215, 60, 20));
    EXPECT_EQ(g->texts[1].rect, QRectF(440, 195, 60, 20));
    EXPECT_TRUE(g->trainPoints.empty() && g->validPoints.empty());
}

TEST(ChartPoints, SitOnTheEpochLinesOneRowAboveTheirValue)
{
    ChartState s = configured(10);
    s.train_x = {0, 3};
    s.train_y = {0, 87};
    s.valid_x = {0, 1, 2};  // the two lists are drawn independently
    s.valid_y = {0, 50, 101};
    const std::optional<chartgeometry::Geometry> g = chartgeometry::layout(s);
    ASSERT_TRUE(g);
    ASSERT_EQ(g->trainPoints.size(), 2u);
    EXPECT_EQ(g->trainPoints[1], QRectF(140, 372, 4, 4));
    ASSERT_EQ(g->validPoints.size(), 3u);
    EXPECT_EQ(g->validPoints[2], QRectF(100, 428, 4, 4));  // above the grid, drawn as it is
}

TEST(ChartBaseViewOnly, WhenOffOrWithoutRowsOrColumns)
{
    ChartState noRows = configured(5);
    noRows.rownum.reset();
    for (const ChartState& s : {ChartState{}, configured(0), configured(-3), noRows})
        EXPECT_FALSE(chartgeometry::layout(s));
}
}  // namespace

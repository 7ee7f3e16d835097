#include "model/nodegeometry.h"

#include <gtest/gtest.h>

using nodegeometry::Connection;

namespace {

std::optional<NodeLines> node(const QString& name, std::optional<QStringList> inbound)
{
    return NodeLines{name, QStringLiteral("Layer"), std::move(inbound)};
}

TEST(NodeGeometry, ColumnOfNodesFiftyApart)
{
    EXPECT_EQ(nodegeometry::nodeBox(0), QRectF(200, 40, 200, 80));
    EXPECT_EQ(nodegeometry::nodeBox(1), QRectF(200, 170, 200, 80));
    EXPECT_EQ(nodegeometry::nodeBox(3).top() - nodegeometry::nodeBox(2).bottom(), 50);
    EXPECT_EQ(nodegeometry::columnSize(3), QSizeF(600, 40 + 3 * 80 + 2 * 50 + 20));
    EXPECT_EQ(nodegeometry::columnSize(0), QSizeF(600, 60));
}

TEST(NodeGeometry, HitsAndDropPositions)
{
    struct Case {
        QPointF point;
        int node;
        int drop;
    };
    const Case cases[] = {
        {{300, 80}, 0, 0},   {{300, 200}, 1, 1}, {{199, 200}, -1, 1}, {{401, 200}, -1, 1},
        {{300, 150}, -1, 1}, // in the gap: no node, but a drop goes to the nearer row
        {{300, 130}, -1, 0}, {{300, 10}, -1, 0}, {{300, 430}, 3, 3},
        {{300, 600}, -1, 4}, // below the last of four: past the end
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nodegeometry::nodeAt(c.point, 4), c.node) << c.point.x() << "," << c.point.y();
        EXPECT_EQ(nodegeometry::dropIndexAt(c.point, 4), c.drop) << c.point.x() << "," << c.point.y();
    }
}

TEST(ConnectionLines, ChainGivesStraightLinesFromTopMiddleToCentre)
{
    const std::vector<std::optional<NodeLines>> chain{node("input_1", QStringList()), node("conv", QStringList{"input_1"}),
                                                      node("predictions", QStringList{"conv"})};
    const std::vector<Connection> lines = nodegeometry::connections(chain);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].kind, Connection::Kind::Straight);
    EXPECT_EQ(lines[0].from, 0);
    EXPECT_EQ(lines[0].to, 1);
    EXPECT_EQ(lines[0].start, QPointF(300, 170));  // top middle of node 1
    EXPECT_EQ(lines[0].end, QPointF(300, 80));     // centre of node 0
    EXPECT_EQ(lines[1].start, QPointF(300, 300));
    EXPECT_EQ(lines[1].end, QPointF(300, 210));
}

TEST(ConnectionLines, TwoInputsCurveRightToTheFirstAndLeftToTheSecond)
{
    const std::vector<std::optional<NodeLines>> nodes{node("input_1", QStringList()), node("a", QStringList{"input_1"}),
                                                      node("b", QStringList{"a"}),
                                                      node("add", QStringList{"b", "input_1", "a"})};
    std::vector<Connection> lines = nodegeometry::connections(nodes);
    ASSERT_EQ(lines.size(), 4u);  // the third inbound name draws nothing
    const Connection& right = lines[2];
    EXPECT_EQ(right.kind, Connection::Kind::RightCurve);
    EXPECT_EQ(right.from, 2);
    EXPECT_EQ(right.start, QPointF(400, 340));   // right edge, middle of b
    EXPECT_EQ(right.end, QPointF(400, 470));     // right edge, middle of add
    EXPECT_EQ(right.control1, QPointF(600, 420));
    EXPECT_EQ(right.control2, QPointF(600, 390));
    const Connection& left = lines[3];
    EXPECT_EQ(left.kind, Connection::Kind::LeftCurve);
    EXPECT_EQ(left.from, 0);
    EXPECT_EQ(left.start, QPointF(200, 80));
    EXPECT_EQ(left.end, QPointF(200, 470));
    EXPECT_EQ(left.control1, QPointF(0, 160));
    EXPECT_EQ(left.control2, QPointF(0, 390));
}

TEST(ConnectionLines, StaleNamesDuplicatesAndTheInputLayer)
{
    const std::vector<std::optional<NodeLines>> nodes{
        node("input_1", QStringList{"x"}),  // the first node never draws
        node("a", QStringList{"gone"}),     // renamed away: no line
        std::nullopt,                       // not a layer record: neither matches nor draws
        node("a", QStringList{"input_1"}), node("c", QStringList{"a"}), node("d", std::nullopt)};
    const std::vector<Connection> lines = nodegeometry::connections(nodes);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].to, 3);
    EXPECT_EQ(lines[1].to, 4);
    EXPECT_EQ(lines[1].from, 1);  // the first node of a repeated name wins, even below the other
    EXPECT_TRUE(nodegeometry::connections({}).empty());
}

}  // namespace

#include "model/nodegeometry.h"

#include <gtest/gtest.h>

using nodegeometry::Connection;

namespace {

std::optional<NodeLines> node(const QString& name, std::optional<QStringList> inbound)
{
    return NodeLines{name, QStringLiteral("Layer"), std::move(inbound)};
}

TEST(NodeGeometry, ColumnOfNodesFiftyApartHitsAndDropPositions)
{
    EXPECT_EQ(nodegeometry::nodeBox(0), QRectF(200, 40, 200, 80));
    EXPECT_EQ(nodegeometry::nodeBox(1), QRectF(200, 170, 200, 80));
    EXPECT_EQ(nodegeometry::columnSize(3), QSizeF(600, 40 + 3 * 80 + 2 * 50 + 20));
    EXPECT_EQ(nodegeometry::columnSize(0), QSizeF(600, 60));
    const struct Case {
        QPointF point;
        int node, drop;
    } cases[] = {
        {{300, 80}, 0, 0},   {{300, 200}, 1, 1}, {{199, 200}, -1, 1}, {{401, 200}, -1, 1},
        {{300, 150}, -1, 1},  // in the gap: no node, but a drop goes to the nearer row
        {{300, 130}, -1, 0}, {{300, 10}, -1, 0}, {{300, 430}, 3, 3},
        {{300, 600}, -1, 4},  // below the last of four: past the end
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nodegeometry::nodeAt(c.point, 4), c.node) << c.point.x() << "," << c.point.y();
        EXPECT_EQ(nodegeometry::dropIndexAt(c.point, 4), c.drop) << c.point.x() << "," << c.point.y();
    }
}

TEST(ConnectionLines, StraightFromTopMiddleToCentreThenCurvesRightToTheFirstInputAndLeftToTheSecond)
{
    const std::vector<std::optional<NodeLines>> nodes{node("input_1", QStringList()), node("a", QStringList{"input_1"}),
                                                      node("b", QStringList{"a"}), node("add", QStringList{"b", "input_1", "a"})};
    const std::vector<Connection> lines = nodegeometry::connections(nodes);
    ASSERT_EQ(lines.size(), 4u);  // the third inbound name draws nothing
    EXPECT_EQ(lines[0].kind, Connection::Kind::Straight);
    EXPECT_EQ(lines[0].start, QPointF(300, 170));  // top middle of node 1
    EXPECT_EQ(lines[0].end, QPointF(300, 80));     // centre of node 0
    const Connection& right = lines[2];
    EXPECT_EQ(right.kind, Connection::Kind::RightCurve);
    EXPECT_EQ(right.from, 2);
    EXPECT_EQ((std::vector<QPointF>{right.start, right.end, right.control1, right.control2}),
              (std::vector<QPointF>{{400, 340}, {400, 470}, {600, 420}, {600, 390}}));  // right edges, middles
    const Connection& left = lines[3];
    EXPECT_EQ(left.kind, Connection::Kind::LeftCurve);
    EXPECT_EQ(left.from, 0);
    EXPECT_EQ((std::vector<QPointF>{left.start, left.end, left.control1, left.control2}),
              (std::vector<QPointF>{{200, 80}, {200, 470}, {0, 160}, {0, 390}}));
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

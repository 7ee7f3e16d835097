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
    const struct Case { QPointF point; int node, drop; } cases[] = {
        {{300, 80}, 0, 0},   {{300, 200}, 1, 1}, {{199, 200}, -1, 1}, {{401, 200}, -1, 1},
        {{300, 150}, -1, 1},  // in the gap: no node, but a drop goes to the nearer row
        {{300, 130}, -1, 0}, {{300, 430}, 3, 3},
        {{300, 600}, -1, 4},  // below the last of four: past the end
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::make_pair(nodegeometry::nodeAt(c.point, 4), nodegeometry::dropIndexAt(c.point, 4)), std::make_pair(c.node, c.drop))
            << c.point.x() << "," << c.point.y();
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

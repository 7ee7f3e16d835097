#include "model/nodegeometry.h"

#include <gtest/gtest.h>

using nodegeometry::Connection;

namespace {

std::optional<NodeLines> node(const QString& name, std::optional<QStringList> inbound)
{
    return NodeLines{name, QStringLiteral("Layer"), std::move(inbound)};
}

// Where nodes sit, are hit and dropped and where their lines run is followed through the
// editor's tests; here, which nodes a line joins when names are stale or repeated.
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

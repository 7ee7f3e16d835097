#pragma once

#include "model/archdocument.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>
#include <utility>
#include <vector>

// Where the layer nodes of the editor's column sit and how their connection lines run.
// Coordinates are the column's own: origin at the top left, y growing downwards.
namespace nodegeometry {

constexpr double kNodeWidth = 200;
constexpr double kNodeHeight = 80;
constexpr double kLineSpacing = 50;
constexpr double kHeaderHeight = 20;
constexpr double kInsetTop = 20;
constexpr double kInsetLeft = 200;
constexpr double kInsetRight = 200;
constexpr double kInsetBottom = 20;

QRectF nodeBox(int index);
// The whole column for `count` nodes, insets included.
QSizeF columnSize(int count);
// The node whose box holds `point`, or -1.
int nodeAt(const QPointF& point, int count);
// The rows whose boxes reach into the band from `top` to `bottom` (column coordinates), as
// first and last; last < first when there is none.
std::pair<int, int> rowsBetween(double top, double bottom, int count);
// The layer position a drop at `point` proposes: the row nearest to it, or `count` below the
// last node.
int dropIndexAt(const QPointF& point, int count);

struct Connection {
    enum class Kind { Straight, RightCurve, LeftCurve };
    Kind kind = Kind::Straight;
    int from = 0;  // the inbound node
    int to = 0;    // the node that names it as an input
    QPointF start;
    QPointF end;
    QPointF control1;  // curves only
    QPointF control2;
};

// The lines from every node (the first excepted: it is the input) to the nodes it names as
// inputs: one straight line from the top middle of a one-input node to the centre of its input;
// for two or more inputs a curve on the right to the first and one on the left to the second.
// Names match exactly, the first node of a name wins; a name that matches no node draws nothing.
// Entries that are absent (not a layer record) neither match nor draw.
std::vector<Connection> connections(const std::vector<std::optional<NodeLines>>& nodes);

}  // namespace nodegeometry

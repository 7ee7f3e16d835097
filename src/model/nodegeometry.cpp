#include "model/nodegeometry.h"

#include <QHash>
#include <algorithm>
#include <cmath>

namespace nodegeometry {
namespace {

constexpr double kRowPitch = kNodeHeight + kLineSpacing;
constexpr double kFirstTop = kHeaderHeight + kInsetTop;

// The first node of each name, so that a long column is matched in one pass.
QHash<QString, int> firstOfEachName(const std::vector<std::optional<NodeLines>>& nodes)
{
    QHash<QString, int> first;
    first.reserve(qsizetype(nodes.size()));
    for (size_t k = 0; k < nodes.size(); ++k) {
        if (nodes[k] && !first.contains(nodes[k]->name))
            first.insert(nodes[k]->name, int(k));
    }
    return first;
}

Connection straight(int from, int to)
{
    const QRectF a = nodeBox(to);
    const QRectF b = nodeBox(from);
    return Connection{Connection::Kind::Straight, from, to, QPointF(a.left() + a.width() / 2, a.top()),
                      QPointF(b.left() + b.width() / 2, b.top() + 40), {}, {}};
}

Connection curve(int from, int to, bool right)
{
    const QRectF a = nodeBox(to);
    const QRectF b = nodeBox(from);
    const double w = kNodeWidth;
    const double h = kNodeHeight;
    if (right) {
        return Connection{Connection::Kind::RightCurve, from, to, QPointF(b.right(), b.center().y()),
                          QPointF(a.right(), a.center().y()), QPointF(b.right() + w, b.center().y() + h),
                          QPointF(a.right() + w, a.center().y() - h)};
    }
    return Connection{Connection::Kind::LeftCurve, from, to, QPointF(b.left(), b.center().y()),
                      QPointF(a.left(), a.center().y()), QPointF(b.left() - w, b.center().y() + h),
                      QPointF(a.left() - w, a.center().y() - h)};
}

}  // namespace

QRectF nodeBox(int index) { return QRectF(kInsetLeft, kFirstTop + index * kRowPitch, kNodeWidth, kNodeHeight); }

QSizeF columnSize(int count)
{
    const double rows = count > 0 ? count * kRowPitch - kLineSpacing : 0;
    return QSizeF(kInsetLeft + kNodeWidth + kInsetRight, kFirstTop + rows + kInsetBottom);
}

int nodeAt(const QPointF& point, int count)
{
    if (point.y() < kFirstTop)
        return -1;
    const int row = int(std::floor((point.y() - kFirstTop) / kRowPitch));
    return row < count && nodeBox(row).contains(point) ? row : -1;
}

std::pair<int, int> rowsBetween(double top, double bottom, int count)
{
    if (count <= 0 || bottom < top)
        return {0, -1};
    const int first = std::max(0, int(std::ceil((top - kFirstTop - kNodeHeight) / kRowPitch)));
    const int last = std::min(count - 1, int(std::floor((bottom - kFirstTop) / kRowPitch)));
    return {first, last};
}

int dropIndexAt(const QPointF& point, int count)
{
    const double offset = point.y() - kFirstTop + kLineSpacing / 2;
    const int row = offset < 0 ? 0 : int(std::floor(offset / kRowPitch));
    return row < count ? row : count;
}

std::vector<Connection> connections(const std::vector<std::optional<NodeLines>>& nodes)
{
    std::vector<Connection> out;
    const QHash<QString, int> first = firstOfEachName(nodes);
    const auto firstNamed = [&first](const QString& name) { return first.value(name, -1); };
    for (size_t i = 1; i < nodes.size(); ++i) {
        if (!nodes[i] || !nodes[i]->inbound)
            continue;
        const QStringList& inbound = *nodes[i]->inbound;
        if (inbound.size() == 1) {
            const int b = firstNamed(inbound[0]);
            if (b >= 0)
                out.push_back(straight(b, int(i)));
        } else if (inbound.size() >= 2) {
            for (int side = 0; side < 2; ++side) {
                const int b = firstNamed(inbound[side]);
                if (b >= 0)
                    out.push_back(curve(b, int(i), side == 0));
            }
        }
    }
    return out;
}

}  // namespace nodegeometry

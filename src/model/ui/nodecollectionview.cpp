#include "model/ui/nodecollectionview.h"

#include "model/ui/nnnode.h"
#include "util/diagnostics.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPainterPath>

// The column itself: hosts the nodes, draws the lines behind them and turns mouse presses and
// drags into selection and drop requests.
class NodeCanvas : public QWidget {
public:
    explicit NodeCanvas(nodecollectionview* view) : QWidget(view), m_view(view) { setAcceptDrops(true); }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        m_view->paintLines(painter, event->rect());
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        m_pressed = nodegeometry::nodeAt(event->position(), m_view->numberOfItems());
        m_pressPoint = event->position().toPoint();
        m_view->clickItem(m_pressed);
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!(event->buttons() & Qt::LeftButton) || m_pressed < 0
            || (event->position().toPoint() - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
            return;
        const int index = m_pressed;
        m_pressed = -1;
        auto* drag = new QDrag(this);
        drag->setMimeData(nodecollectionview::dragData(index));
        Q_EMIT m_view->dragBegan(index);
        drag->exec(Qt::MoveAction);
        Q_EMIT m_view->dragEnded();
    }

    void mouseReleaseEvent(QMouseEvent*) override { m_pressed = -1; }

    void dragEnterEvent(QDragEnterEvent* event) override { acceptMove(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { acceptMove(event); }

    void dropEvent(QDropEvent* event) override
    {
        if (!event->mimeData()->hasFormat(nodecollectionview::dragMimeType()))
            return;
        event->setDropAction(Qt::MoveAction);
        event->accept();
        Q_EMIT m_view->dropProposed(nodegeometry::dropIndexAt(event->position(), m_view->numberOfItems()));
    }

private:
    // Only our own node drags are taken, always as a move.
    static void acceptMove(QDropEvent* event)
    {
        if (!event->mimeData()->hasFormat(nodecollectionview::dragMimeType()))
            return;
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }

    nodecollectionview* m_view;
    int m_pressed = -1;
    QPoint m_pressPoint;
};

nodecollectionview::nodecollectionview(QWidget* parent) : QScrollArea(parent)
{
    setObjectName(QStringLiteral("nodecollectionview"));
    setAccessibleName(QStringLiteral("Layer graph"));
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_canvas = new NodeCanvas(this);
    m_canvas->setAutoFillBackground(true);
    QPalette p = m_canvas->palette();
    p.setColor(QPalette::Window, QColor(236, 236, 236));
    m_canvas->setPalette(p);
    setWidget(m_canvas);
}

QString nodecollectionview::dragMimeType() { return QStringLiteral("application/x-kolvara-layer-index"); }

QMimeData* nodecollectionview::dragData(int index)
{
    auto* data = new QMimeData;
    data->setData(dragMimeType(), QByteArray::number(index));
    return data;
}

NNnode* nodecollectionview::item(int index) const
{
    return index >= 0 && index < int(m_items.size()) ? m_items[size_t(index)] : nullptr;
}

void nodecollectionview::reloadData(const std::vector<std::optional<NodeLines>>& nodes)
{
    for (NNnode* node : m_items)
        delete node;
    m_items.clear();
    m_nodes = nodes;
    m_selected = -1;
    m_canvas->setMinimumSize(nodegeometry::columnSize(int(nodes.size())).toSize());
    for (size_t i = 0; i < nodes.size(); ++i) {
        auto* node = new NNnode(m_canvas);
        node->setAttribute(Qt::WA_TransparentForMouseEvents);
        node->setGeometry(nodegeometry::nodeBox(int(i)).toRect());
        if (const std::optional<NodeLines>& lines = nodes[i]) {
            NNnodeview* view = node->nodeview;
            view->layername->setText(QStringLiteral("Name: ") + lines->name);
            view->classname->setText(QStringLiteral("Class: ") + lines->className);
            if (lines->inbound) {
                QStringList labels;
                QString text = QStringLiteral("Input: ");
                for (const QString& name : *lines->inbound) {
                    labels << QStringLiteral("Name: ") + name;
                    text += name + QLatin1Char('\n');
                }
                view->inboundlabel = labels;
                view->inboundname->setText(text);
            }
            node->setAccessibleName(QStringLiteral("Layer ") + lines->name);
        }
        node->show();
        m_items.push_back(node);
    }
    m_canvas->update();
}

std::vector<nodegeometry::Connection> nodecollectionview::connections() const
{
    return nodegeometry::connections(m_nodes);
}

void nodecollectionview::paintLines(QPainter& painter, const QRect& exposed)
{
    diag::print("visible item count_", numberOfItems());
    namelist.clear();
    for (NNnode* node : m_items)
        namelist << node->nodeview->layername->text();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::red, 1));
    painter.setBrush(Qt::NoBrush);
    for (const nodegeometry::Connection& c : connections()) {
        QPainterPath path(c.start);
        const bool straight = c.kind == nodegeometry::Connection::Kind::Straight;
        if (straight)
            path.lineTo(c.end);
        else
            path.cubicTo(c.control1, c.control2, c.end);
        // Long graphs repaint only the part that scrolled into view.
        if (!path.controlPointRect().adjusted(-1, -1, 1, 1).intersects(exposed))
            continue;
        if (straight)
            diag::print("drawline at", c.start.x(), c.start.y(), c.end.x(), c.end.y());
        painter.drawPath(path);
    }
}

void nodecollectionview::clickItem(int index)
{
    if (index >= numberOfItems())
        index = -1;
    if (index >= 0 && index == m_selected)
        return;
    if (m_selected >= 0) {
        const int old = m_selected;
        m_selected = -1;
        if (NNnode* node = item(old))
            node->setSelected(false);
        Q_EMIT didDeselect(old);
    }
    if (index < 0)
        return;
    m_selected = index;
    item(index)->setSelected(true);
    Q_EMIT didSelect(index);
}

void nodecollectionview::clearSelection()
{
    if (NNnode* node = item(m_selected))
        node->setSelected(false);
    m_selected = -1;
}

void nodecollectionview::scrollToItem(int index)
{
    if (item(index))
        ensureWidgetVisible(item(index), 0, int(nodegeometry::kLineSpacing));
}

#include "model/ui/nodecollectionview.h"

#include "model/ui/nnnode.h"
#include "util/diagnostics.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPainterPath>
#include <QScrollBar>
#include <algorithm>

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
        m_view->setFocus(Qt::MouseFocusReason);
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
    // Only the nodes near the screen have widgets, so the keyboard is the way to reach every
    // node: the arrow keys select the next one and bring it into view.
    setFocusPolicy(Qt::StrongFocus);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &nodecollectionview::placeNodes);
}

void nodecollectionview::keyPressEvent(QKeyEvent* event)
{
    if (!hasFocus()) {  // passed up from a field of the configuration panel
        QScrollArea::keyPressEvent(event);
        return;
    }
    const int count = numberOfItems();
    int next = -1;
    switch (event->key()) {
    case Qt::Key_Down: next = std::min(m_selected + 1, count - 1); break;
    case Qt::Key_Up: next = m_selected < 0 ? 0 : std::max(m_selected - 1, 0); break;
    case Qt::Key_Home: next = 0; break;
    case Qt::Key_End: next = count - 1; break;
    default: QScrollArea::keyPressEvent(event); return;
    }
    if (next >= 0 && next != m_selected) {
        scrollToItem(next);
        clickItem(next);
    }
}

void nodecollectionview::describeSelection()
{
    // What assistive tools announce for the column: the node selected, of how many.
    const std::optional<NodeLines>& lines = m_selected >= 0 && m_selected < numberOfItems() ? m_nodes[size_t(m_selected)] : std::nullopt;
    setAccessibleDescription(lines ? QStringLiteral("Layer %1 of %2: %3, %4")
                                         .arg(m_selected + 1)
                                         .arg(numberOfItems())
                                         .arg(lines->name, lines->className)
                                   : QStringLiteral("%1 layers").arg(numberOfItems()));
}

QString nodecollectionview::dragMimeType() { return QStringLiteral("application/x-kolvara-layer-index"); }

QMimeData* nodecollectionview::dragData(int index)
{
    auto* data = new QMimeData;
    data->setData(dragMimeType(), QByteArray::number(index));
    return data;
}

NNnode* nodecollectionview::item(int index)
{
    if (index < 0 || index >= numberOfItems())
        return nullptr;
    NNnode*& node = m_items[size_t(index)];
    if (!node) {
        node = takeNode();
        fill(node, index);
    }
    return node;
}

int nodecollectionview::nodeWidgetCount() const { return int(m_canvas->findChildren<NNnode*>().size()); }

void nodecollectionview::reloadData(const std::vector<std::optional<NodeLines>>& nodes)
{
    for (NNnode* node : m_items) {
        if (node) {
            node->hide();
            m_spare.push_back(node);
        }
    }
    m_nodes = nodes;
    m_items.assign(nodes.size(), nullptr);
    m_connections = nodegeometry::connections(m_nodes);
    m_selected = -1;
    namelist.clear();
    for (const std::optional<NodeLines>& lines : m_nodes)
        namelist << (lines ? QStringLiteral("Name: ") + lines->name : QStringLiteral("Layer"));
    m_canvas->setMinimumSize(nodegeometry::columnSize(int(nodes.size())).toSize());
    placeNodes();
    m_canvas->update();
    describeSelection();
}

void nodecollectionview::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    placeNodes();
}

void nodecollectionview::placeNodes()
{
    const double top = verticalScrollBar()->value();
    const double page = std::max(viewport()->height(), 1);
    const auto [first, last] = nodegeometry::rowsBetween(top - page, top + 2 * page, numberOfItems());
    for (int i = 0; i < numberOfItems(); ++i) {
        NNnode*& node = m_items[size_t(i)];
        if (node && (i < first || i > last)) {
            node->hide();
            m_spare.push_back(node);
            node = nullptr;
        }
    }
    for (int i = first; i <= last; ++i)
        item(i);
}

NNnode* nodecollectionview::takeNode()
{
    if (m_spare.empty()) {
        auto* node = new NNnode(m_canvas);
        node->setAttribute(Qt::WA_TransparentForMouseEvents);
        return node;
    }
    NNnode* node = m_spare.back();
    m_spare.pop_back();
    return node;
}

// Shows row `index` in `node`; a row that is not a layer record keeps the placeholder lines.
void nodecollectionview::fill(NNnode* node, int index)
{
    NNnodeview* view = node->nodeview;
    node->setGeometry(nodegeometry::nodeBox(index).toRect());
    view->layername->setText(QStringLiteral("Layer"));
    view->classname->setText(QStringLiteral("Class name"));
    view->inboundname->setText(QStringLiteral("Inbound Name"));
    view->inboundlabel.reset();
    node->setAccessibleName(QString());
    if (const std::optional<NodeLines>& lines = m_nodes[size_t(index)]) {
        view->layername->setText(namelist.value(index));
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
    node->setSelected(index == m_selected);
    node->show();
}

void nodecollectionview::paintLines(QPainter& painter, const QRect& exposed)
{
    diag::print("visible item count_", numberOfItems());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::red, 1));
    painter.setBrush(Qt::NoBrush);
    const QRectF area = QRectF(exposed).adjusted(-1, -1, 1, 1);
    for (const nodegeometry::Connection& c : m_connections) {
        const bool straight = c.kind == nodegeometry::Connection::Kind::Straight;
        // Long graphs repaint only the part that scrolled into view; a curve stays inside the
        // box of its end and control points.
        QRectF bounds = QRectF(c.start, c.end).normalized();
        if (!straight)
            bounds = bounds.united(QRectF(c.control1, c.control2).normalized());
        if (!bounds.adjusted(-1, -1, 1, 1).intersects(area))
            continue;
        QPainterPath path(c.start);
        if (straight)
            path.lineTo(c.end);
        else
            path.cubicTo(c.control1, c.control2, c.end);
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
    if (index < 0) {
        describeSelection();
        return;
    }
    m_selected = index;
    item(index)->setSelected(true);
    describeSelection();
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

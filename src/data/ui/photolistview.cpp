#include "data/ui/photolistview.h"

#include "data/ui/photoview.h"

#include <QMouseEvent>
#include <QScrollBar>

namespace {
constexpr int kPrefetchLines = 2;  // lines decoded ahead above and below the screen
}

PhotoListView::PhotoListView(QWidget* parent) : QListView(parent)
{
    // Lines of thumbnails, left to right. Not the icon mode: that keeps a rectangle and a spatial
    // index per item and lays out all of them again on every resize, while this layout of
    // uniform cells keeps one position per item.
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setMovement(QListView::Static);  // thumbnails are not rearranged by dragging
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setGridSize(photolayout::gridSize());
    setSpacing(0);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionRectVisible(true);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Always there: a scroll bar that appears once the items are laid out narrows the list and
    // lays all of them out a second time.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setAccessibleName(QStringLiteral("Images"));
}

void PhotoListView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton
        && PhotoView::labelFieldRect(visualRect(index)).contains(event->position().toPoint())) {
        // A click into the label field types into it; it does not change the selection.
        edit(index);
        return;
    }
    m_pressing = true;
    m_pressedRow = index.isValid() ? index.row() : -1;
    if (m_pressedRow >= 0)
        Q_EMIT pressed(m_pressedRow, selectionModel()->isSelected(index));
    QListView::mousePressEvent(event);
}

void PhotoListView::mouseReleaseEvent(QMouseEvent* event)
{
    QListView::mouseReleaseEvent(event);
    const int row = m_pressedRow;
    m_pressing = false;
    m_pressedRow = -1;
    Q_EMIT released(row);
}

void PhotoListView::paintEvent(QPaintEvent* event)
{
    QListView::paintEvent(event);
    m_window = currentWindow();
    Q_EMIT painted(m_window);
}

int PhotoListView::columns() const
{
    const int count = model() ? model()->rowCount() : 0;
    if (count == 0)
        return 1;
    const int top = visualRect(model()->index(0, 0)).top();
    int n = 1;
    while (n < count && visualRect(model()->index(n, 0)).top() == top)
        ++n;
    return n;
}

photolayout::Window PhotoListView::currentWindow() const
{
    const int count = model() ? model()->rowCount() : 0;
    if (count == 0)
        return photolayout::window(0, 1, 1, 0, 1, 0);
    const int cols = columns();
    const int lineHeight = gridSize().height();
    const int scrollY = -(visualRect(model()->index(0, 0)).top());
    return photolayout::window(count, cols, lineHeight, scrollY, viewport()->height(), kPrefetchLines);
}

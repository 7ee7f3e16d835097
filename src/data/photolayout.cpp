#include "data/photolayout.h"

#include "util/workareageometry.h"

#include <algorithm>

namespace photolayout {

QSize gridSize() { return QSize(itemWidth + spacing, itemHeight + spacing); }

QSize cellHint() { return QSize(itemWidth + 2 * margin, itemHeight + 2 * margin); }

QRect contentRect(const QRect& itemRect)
{
    return QRect(itemRect.left() + margin, itemRect.top() + margin, itemWidth, itemHeight);
}

QRect fromBottomLeft(int x, int y, int w, int h, int parentHeight)
{
    return QRect(x, int(workarea::flippedY(parentHeight, y, h)), w, h);
}

QRect imageFrame() { return fromBottomLeft(0, 50, 150, 150, itemHeight); }
QRect labelFrame() { return fromBottomLeft(100, 30, 50, 20, itemHeight); }
QRect nameFrame() { return fromBottomLeft(0, 30, 100, 20, itemHeight); }
QRect captionFrame() { return fromBottomLeft(0, 10, 100, 20, itemHeight); }
QRect predictFrame() { return fromBottomLeft(100, 10, 50, 20, itemHeight); }

QSize fittedSize(const QSize& source, const QSize& box)
{
    if (source.isEmpty() || box.isEmpty())
        return QSize();
    const QSize scaled = source.scaled(box, Qt::KeepAspectRatio);
    return QSize(std::max(1, scaled.width()), std::max(1, scaled.height()));
}

QRect fittedRect(const QSize& imageSize, const QRect& area)
{
    const QSize size = fittedSize(imageSize, area.size());
    if (!size.isValid())
        return QRect();
    return QRect(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2,
                 size.width(), size.height());
}

Window window(int count, int columns, int lineHeight, int scrollY, int viewportHeight, int pageLines)
{
    Window w;
    w.known = true;
    if (count <= 0 || columns <= 0 || lineHeight <= 0 || viewportHeight <= 0)
        return w;
    const int lines = (count + columns - 1) / columns;
    const int firstLine = std::clamp(std::max(0, scrollY) / lineHeight, 0, lines - 1);
    const int lastLine = std::clamp((std::max(0, scrollY) + viewportHeight - 1) / lineHeight, firstLine, lines - 1);
    const auto rowsOf = [&](int fromLine, int toLine, int& first, int& last) {
        first = std::clamp(fromLine, 0, lines - 1) * columns;
        last = std::min(count - 1, (std::clamp(toLine, 0, lines - 1) + 1) * columns - 1);
    };
    rowsOf(firstLine, lastLine, w.firstVisible, w.lastVisible);
    rowsOf(firstLine - pageLines, lastLine + pageLines, w.firstNearby, w.lastNearby);
    return w;
}

}  // namespace photolayout

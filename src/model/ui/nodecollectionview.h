#pragma once

#include "model/archdocument.h"
#include "model/nodegeometry.h"

#include <QList>
#include <QScrollArea>
#include <QStringList>
#include <optional>
#include <vector>

class NNnode;
class QMimeData;

// The scrolling column of layer nodes with the red connection lines behind them. Single
// selection, empty selection allowed; a node can be dragged onto another position, which the
// editor turns into an exchange.
class nodecollectionview : public QScrollArea {
    Q_OBJECT
public:
    explicit nodecollectionview(QWidget* parent = nullptr);

    // The name lines ("Name: ...") of the nodes, rebuilt whenever the lines are drawn.
    QStringList namelist;

    // Shows one node per entry, in order; an absent entry keeps the node's placeholder lines.
    void reloadData(const std::vector<std::optional<NodeLines>>& nodes);
    int numberOfItems() const { return int(m_items.size()); }
    NNnode* item(int index) const;
    // The connection lines as drawn, in column coordinates.
    std::vector<nodegeometry::Connection> connections() const;
    QWidget* canvas() const { return m_canvas; }

    int selectedItem() const { return m_selected; }
    // A click on `index` (-1: empty space): changes the single selection.
    void clickItem(int index);
    // Drops the selection without telling anybody (the column is being rebuilt).
    void clearSelection();
    void scrollToItem(int index);

    static QString dragMimeType();
    static QMimeData* dragData(int index);

Q_SIGNALS:
    void didSelect(int index);
    void didDeselect(int index);
    void dragBegan(int index);
    void dragEnded();
    void dropProposed(int target);

private:
    friend class NodeCanvas;
    void paintLines(class QPainter& painter, const QRect& exposed);

    QWidget* m_canvas = nullptr;
    std::vector<NNnode*> m_items;
    std::vector<std::optional<NodeLines>> m_nodes;
    int m_selected = -1;
};

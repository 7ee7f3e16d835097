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
// editor turns into an exchange. Like any collection view it keeps node widgets only for the
// rows on screen and a page around them, reusing them as the column scrolls, so that a model of
// thousands of layers loads and scrolls as quickly as a short one.
class nodecollectionview : public QScrollArea {
    Q_OBJECT
public:
    explicit nodecollectionview(QWidget* parent = nullptr);

    // The name lines ("Name: ...") of the nodes, one per row, rebuilt with the rows.
    QStringList namelist;

    // Shows one node per entry, in order; an absent entry keeps the node's placeholder lines.
    void reloadData(const std::vector<std::optional<NodeLines>>& nodes);
    int numberOfItems() const { return int(m_nodes.size()); }
    // The node widget of row `index`, made on demand for a row away from the screen (it is given
    // back when the column next scrolls); nullptr outside the rows.
    NNnode* item(int index);
    // How many node widgets exist now (rows on screen and near it).
    int nodeWidgetCount() const;
    // The connection lines as drawn, in column coordinates.
    const std::vector<nodegeometry::Connection>& connections() const { return m_connections; }
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

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Up and Down select the previous and next node, Home and End the first and last.
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class NodeCanvas;
    void paintLines(class QPainter& painter, const QRect& exposed);
    // Makes nodes for the rows on screen and a page around them; gives the others back.
    void placeNodes();
    NNnode* takeNode();
    void fill(NNnode* node, int index);
    void describeSelection();

    QWidget* m_canvas = nullptr;
    std::vector<NNnode*> m_items;  // by row; nullptr for a row without a widget now
    std::vector<NNnode*> m_spare;  // hidden, ready for reuse
    std::vector<std::optional<NodeLines>> m_nodes;
    std::vector<nodegeometry::Connection> m_connections;
    int m_selected = -1;
};

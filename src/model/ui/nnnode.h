#pragma once

#include "model/ui/nnnodeview.h"

#include <QString>
#include <QWidget>

// One item of the layer column: holds the node's view and shows whether it is selected.
class NNnode : public QWidget {
    Q_OBJECT
public:
    explicit NNnode(QWidget* parent = nullptr);

    NNnodeview* nodeview = nullptr;
    double selectedBoarderThickness = 3.0;
    QString nodetype;  // not used

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

private:
    bool m_selected = false;
};

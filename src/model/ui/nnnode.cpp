#include "model/ui/nnnode.h"

#include <QVBoxLayout>

NNnode::NNnode(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    nodeview = new NNnodeview(this);
    layout->addWidget(nodeview);
}

void NNnode::setSelected(bool selected)
{
    m_selected = selected;
    nodeview->setBorderWidth(selected ? selectedBoarderThickness : 0);
}

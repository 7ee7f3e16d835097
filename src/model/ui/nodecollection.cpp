#include "model/ui/nodecollection.h"

#include "app/prompter.h"
#include "model/ui/nodecollectionview.h"
#include "model/ui/popupview.h"
#include "util/diagnostics.h"

#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

nodecollection::nodecollection(Prompter& prompter, QWidget* parent) : QWidget(parent), m_prompter(prompter)
{
    setObjectName(QStringLiteral("nodecollection"));
    // The column scrolls by itself, so the work area gives it its whole size.
    setProperty("fillsWorkArea", true);
    // Not the work area's dark role: the nodes and the panel draw dark text on white.
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    collectionView = new nodecollectionview(this);
    layout->addWidget(collectionView);
    layerconfig = new popupview(collectionView->viewport());
    layerconfig->setObjectName(QStringLiteral("layerconfig"));
    layerconfig->setFramed(true);
    layerconfig->hide();

    connect(collectionView, &nodecollectionview::didSelect, this, &nodecollection::popupconfig);
    connect(collectionView, &nodecollectionview::didDeselect, this, &nodecollection::removeconfig);
    connect(collectionView, &nodecollectionview::dragBegan, this, [this](int index) { draggingSessionBegan({index}); });
    connect(collectionView, &nodecollectionview::dragEnded, this, &nodecollection::draggingSessionEnded);
    connect(collectionView, &nodecollectionview::dropProposed, this, &nodecollection::acceptDrop);
    // The panel floats: it keeps its height while the column scrolls, but follows it sideways.
    connect(collectionView->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (panelIsOpen())
            placePanel();
    });
}

void nodecollection::setDocument(const Json& document, bool customizedModel)
{
    closePanel();
    nodedice = ArchDocument(document);
    customized = customizedModel;
    commoninit();
    collectionView->verticalScrollBar()->setValue(0);
    collectionView->horizontalScrollBar()->setValue(0);
}

void nodecollection::commoninit()
{
    if (nodedice.isEmpty()) {
        reloadData();
        return;
    }
    diag::print("node collection flowlayout size", width(), height());
    reloadData();
    collectionView->update();
}

void nodecollection::reloadData()
{
    std::vector<std::optional<NodeLines>> nodes;
    for (int i = 0; i < nodedice.layerCount(); ++i)
        nodes.push_back(nodedice.nodeLines(i));
    collectionView->reloadData(nodes);
}

bool nodecollection::addlayer(const Json& layerTemplate)
{
    if (!nodedice.insertBeforeOutput(layerTemplate)) {
        m_prompter.alert(QStringLiteral("The model has no layers to add to."), AlertStyle::Warning);
        return false;
    }
    closePanel();
    diag::print("load model architecture");
    reloadData();
    collectionView->scrollToItem(nodedice.layerCount() - 2);
    return true;
}

void nodecollection::removelayer()
{
    if (selecteditempaths.isEmpty())
        return;
    if (!customized) {
        m_prompter.alert(QStringLiteral("Only the layers of a new model can be removed."), AlertStyle::Informational);
        return;
    }
    diag::print("going to remove layer");
    const int item = selecteditempaths.first();
    if (item == 0 || item == nodedice.layerCount() - 1) {
        m_prompter.alert(item == 0 ? QStringLiteral("The input layer cannot be removed.")
                                   : QStringLiteral("The output layer cannot be removed."),
                         AlertStyle::Informational);
        return;
    }
    if (!nodedice.removeLayer(item))
        return;
    closePanel();
    reloadData();
}

void nodecollection::updatelayerconfig()
{
    if (selecteditempaths.isEmpty())
        return;
    const UpdateOutcome outcome = nodedice.updateLayer(selecteditempaths.first(), panelFields());
    closePanel();
    reloadData();
    if (!outcome.refused.isEmpty()) {
        m_prompter.alert(AlertRequest{QStringLiteral("Some values were not updated"), archdoc::refusalText(outcome.refused),
                                      AlertStyle::Warning, {}, nullptr});
    }
}

void nodecollection::draggingSessionBegan(const QList<int>& items) { itemsBeingDragged = items; }

void nodecollection::draggingSessionEnded() { itemsBeingDragged.reset(); }

bool nodecollection::acceptDrop(int target)
{
    if (itemsBeingDragged) {
        QList<int> dragged = *itemsBeingDragged;
        std::sort(dragged.begin(), dragged.end());
        performInternalDrag(dragged, target);
    }
    return true;
}

void nodecollection::performInternalDrag(QList<int> dragged, int target)
{
    if (!customized)
        return;
    if (nodedice.exchangeLayers(std::vector<int>(dragged.begin(), dragged.end()), target)) {
        closePanel();
        reloadData();
    }
    diag::print("perform internal drag");
}

void nodecollection::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (panelIsOpen())
        placePanel();
}

#include "model/ui/nodecollection.h"

#include "dialogs/prompter.h"
#include "model/architecturedocument.h"
#include "model/ui/nodecollectionview.h"
#include "model/ui/popupview.h"
#include "util/diagnostics.h"

#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

nodecollection::nodecollection(ArchitectureDocument& document, Prompter& prompter, QWidget* parent)
    : QWidget(parent), m_document(document), m_prompter(prompter)
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
    connect(&document, &ArchitectureDocument::documentReset, this, &nodecollection::documentReset);
    // A layer that came or went, here or by an undo, shifts the rows the panel was opened on.
    connect(&document, &ArchitectureDocument::changed, this, &nodecollection::documentChanged);
    connect(&document, &ArchitectureDocument::layerInserted, this, [this](int index) { collectionView->scrollToItem(index); });
}

const ArchDocument& nodecollection::layers() const { return m_document.document(); }

bool nodecollection::customized() const { return m_document.customized(); }

void nodecollection::setDocument(const Json& document, bool customizedModel)
{
    m_document.setDocument(document, customizedModel);
}

void nodecollection::documentReset()
{
    closePanel();
    commoninit();
    collectionView->verticalScrollBar()->setValue(0);
    collectionView->horizontalScrollBar()->setValue(0);
}

void nodecollection::documentChanged()
{
    closePanel();
    reloadData();
}

void nodecollection::commoninit()
{
    if (layers().isEmpty()) {
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
    for (int i = 0; i < layers().layerCount(); ++i)
        nodes.push_back(layers().nodeLines(i));
    collectionView->reloadData(nodes);
}

bool nodecollection::addlayer(const Json& layerTemplate)
{
    if (!m_document.insertLayer(layerTemplate)) {
        m_prompter.alert(QStringLiteral("The model has no layers to add to."), AlertStyle::Warning);
        return false;
    }
    diag::print("load model architecture");
    return true;
}

void nodecollection::removelayer()
{
    if (selecteditempaths.isEmpty())
        return;
    if (!customized()) {
        m_prompter.alert(QStringLiteral("Only the layers of a new model can be removed."), AlertStyle::Informational);
        return;
    }
    diag::print("going to remove layer");
    const int item = selecteditempaths.first();
    if (item == 0 || item == layers().layerCount() - 1) {
        m_prompter.alert(item == 0 ? QStringLiteral("The input layer cannot be removed.")
                                   : QStringLiteral("The output layer cannot be removed."),
                         AlertStyle::Informational);
        return;
    }
    m_document.removeLayer(item);
}

void nodecollection::updatelayerconfig()
{
    if (selecteditempaths.isEmpty())
        return;
    const UpdateOutcome outcome = m_document.updateLayer(selecteditempaths.first(), panelFields());
    closePanel();
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
    if (!customized())
        return;
    m_document.exchangeLayers(dragged, target);
    diag::print("perform internal drag");
}

void nodecollection::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (panelIsOpen())
        placePanel();
}

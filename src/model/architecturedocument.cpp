#include "model/architecturedocument.h"

#include "model/exchangelayerscommand.h"
#include "model/insertlayercommand.h"
#include "model/removelayercommand.h"
#include "model/updatelayercommand.h"

ArchitectureDocument::ArchitectureDocument(QObject* parent) : QObject(parent) {}

void ArchitectureDocument::setDocument(Json json, bool customized)
{
    m_undo.clear();
    m_doc = ArchDocument(std::move(json));
    m_customized = customized;
    Q_EMIT documentReset();
    Q_EMIT changed();
}

QString ArchitectureDocument::layerName(int i) const
{
    const std::optional<NodeLines> lines = m_doc.nodeLines(i);
    return lines ? lines->name : QString();
}

std::optional<int> ArchitectureDocument::insertLayer(const Json& layerTemplate)
{
    std::optional<LayerEdit> edit = m_doc.planInsert(layerTemplate);
    if (!edit)
        return std::nullopt;
    const int index = edit->index;
    m_undo.push(new InsertLayerCommand(*this, std::move(*edit)));
    return index;
}

bool ArchitectureDocument::removeLayer(int i)
{
    std::optional<LayerEdit> edit = m_doc.planRemove(i);
    if (!edit)
        return false;
    m_undo.push(new RemoveLayerCommand(*this, std::move(*edit), layerName(i)));
    return true;
}

bool ArchitectureDocument::exchangeLayers(const QList<int>& dragged, int target)
{
    std::optional<LayerEdit> edit = m_doc.planExchange(std::vector<int>(dragged.begin(), dragged.end()), target);
    if (!edit)
        return false;
    if (!edit->records.empty())
        m_undo.push(new ExchangeLayersCommand(*this, std::move(*edit), int(dragged.size())));
    return true;
}

UpdateOutcome ArchitectureDocument::updateLayer(int i, const QList<PanelField>& fields)
{
    UpdateOutcome outcome;
    std::optional<LayerEdit> edit = m_doc.planUpdate(i, fields, outcome);
    if (edit && !edit->records.empty())
        m_undo.push(new UpdateLayerCommand(*this, std::move(*edit), layerName(i)));
    return outcome;
}

void ArchitectureDocument::swapEdit(LayerEdit& edit)
{
    m_doc.apply(edit);
    const bool moves = edit.kind == LayerEdit::Kind::Insert || edit.kind == LayerEdit::Kind::Remove;
    // Relinked records are indexed in the list that holds the moving layer.
    QList<int> touched;
    for (const auto& [k, record] : edit.records)
        touched << (moves && !edit.layerIn && k > edit.index ? k - 1 : k);
    if (moves) {
        if (edit.layerIn)
            Q_EMIT layerInserted(edit.index);
        else
            Q_EMIT layerRemoved(edit.index);
    }
    if (edit.kind == LayerEdit::Kind::Exchange) {
        Q_EMIT layersExchanged(touched);
    } else {
        for (int k : touched)
            Q_EMIT layerUpdated(k);
    }
    Q_EMIT changed();
}

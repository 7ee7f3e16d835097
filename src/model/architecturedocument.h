#pragma once

#include "model/archdocument.h"

#include <QList>
#include <QObject>
#include <QUndoStack>
#include <optional>

// The one copy of the layer graph being worked on: the editor shows it, generation and training
// read it. Every edit goes through here as an undoable command and is announced afterwards.
class ArchitectureDocument : public QObject {
    Q_OBJECT
public:
    explicit ArchitectureDocument(QObject* parent = nullptr);

    const ArchDocument& document() const { return m_doc; }
    const Json& json() const { return m_doc.json(); }
    // Whether the user built this model here, and so may add, remove and move its layers.
    bool customized() const { return m_customized; }
    QUndoStack* undoStack() { return &m_undo; }

    // Replaces the whole document (a model opened or started); what was edited before cannot be
    // undone into it.
    void setDocument(Json json, bool customized);

    // Each edit below is one undo step; a refused edit or one that changes nothing leaves the
    // stack as it was.
    // The new layer's index, or absent when there is no output layer to insert before.
    std::optional<int> insertLayer(const Json& layerTemplate);
    // False for the input and output layers and indices past the list.
    bool removeLayer(int i);
    bool exchangeLayers(const QList<int>& dragged, int target);
    // outcome.written is false when layer i is missing.
    UpdateOutcome updateLayer(int i, const QList<PanelField>& fields);

Q_SIGNALS:
    void documentReset();
    void layerInserted(int index);
    void layerRemoved(int index);
    void layersExchanged(const QList<int>& indices);
    // Its record changed: edited, or relinked because a layer came or went beside it.
    void layerUpdated(int index);
    // After any of the above.
    void changed();

private:
    friend class InsertLayerCommand;
    friend class RemoveLayerCommand;
    friend class ExchangeLayersCommand;
    friend class UpdateLayerCommand;
    // Carries `edit` out, or takes it back when it was carried out, and says what changed.
    void swapEdit(LayerEdit& edit);
    QString layerName(int i) const;

    ArchDocument m_doc;
    bool m_customized = false;
    QUndoStack m_undo;
};

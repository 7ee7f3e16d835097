#pragma once

#include "model/archdocument.h"

#include <QUndoCommand>

class ArchitectureDocument;

// The configuration panel's values written into a layer.
class UpdateLayerCommand : public QUndoCommand {
public:
    UpdateLayerCommand(ArchitectureDocument& document, LayerEdit edit, const QString& name);
    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    void swap();

    ArchitectureDocument& m_document;
    LayerEdit m_edit;
};

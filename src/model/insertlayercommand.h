#pragma once

#include "model/archdocument.h"

#include <QUndoCommand>

class ArchitectureDocument;

// A layer added before the output layer, and the output layer relinked to read it.
class InsertLayerCommand : public QUndoCommand {
public:
    InsertLayerCommand(ArchitectureDocument& document, LayerEdit edit);
    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    void swap();

    ArchitectureDocument& m_document;
    LayerEdit m_edit;
};

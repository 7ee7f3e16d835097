#pragma once

#include "model/archdocument.h"

#include <QUndoCommand>

class ArchitectureDocument;

// Dragged layers traded places with the layers where they were dropped.
class ExchangeLayersCommand : public QUndoCommand {
public:
    ExchangeLayersCommand(ArchitectureDocument& document, LayerEdit edit, int count);
    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    void swap();

    ArchitectureDocument& m_document;
    LayerEdit m_edit;
};

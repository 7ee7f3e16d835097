#pragma once

#include "model/archdocument.h"

#include <QUndoCommand>

class ArchitectureDocument;

// A middle layer removed, and its readers relinked to its input.
class RemoveLayerCommand : public QUndoCommand {
public:
    RemoveLayerCommand(ArchitectureDocument& document, LayerEdit edit, const QString& name);
    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    void swap();

    ArchitectureDocument& m_document;
    LayerEdit m_edit;
};

#pragma once

#include "data/tilegriddocument.h"

#include <QUndoCommand>

// A grid drawn with other counts; the marks and predictions of the earlier grid go with it.
class DrawGridCommand : public QUndoCommand {
public:
    DrawGridCommand(TileGridDocument& document, TileGridDocument::Grid grid);
    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    void swap() { m_document.swapGrid(m_grid); }

    TileGridDocument& m_document;
    TileGridDocument::Grid m_grid;
};

#pragma once

#include <QUndoCommand>

class TileGridDocument;

// "Reverse!": the marks stand for the other label.
class ReverseGridCommand : public QUndoCommand {
public:
    explicit ReverseGridCommand(TileGridDocument& document);
    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    void swap();

    TileGridDocument& m_document;
};

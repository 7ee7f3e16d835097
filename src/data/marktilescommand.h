#pragma once

#include "data/tilegridstate.h"

#include <QList>
#include <QUndoCommand>
#include <vector>

class TileGridDocument;

// Tiles marked or unmarked by one stroke. Each tile the stroke reaches arrives as a command of
// its own and merges into the stroke's first, so the stroke is one undo step.
class MarkTilesCommand : public QUndoCommand {
public:
    // `marks`: every mark once the tile is toggled; `stroke`: the stroke it belongs to.
    MarkTilesCommand(TileGridDocument& document, std::vector<TilePoint> marks, TilePoint tile, bool marking, int stroke);
    void undo() override { swap(); }
    void redo() override { swap(); }
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    void swap();
    void updateText();

    TileGridDocument& m_document;
    std::vector<TilePoint> m_marks;  // the marks not in the document: before or after the stroke
    QList<TilePoint> m_tiles;
    bool m_marking;
    int m_stroke;
};

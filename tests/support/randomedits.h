#pragma once

#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "model/architecturedocument.h"

#include <QByteArray>
#include <QString>
#include <random>

// The three documents with an image, four pictures and the shipped custom model open, for
// sequences of edits made at random the way a user makes them.
struct EditedDocuments {
    TileGridDocument grid;
    ImageSetDocument pictures;
    ArchitectureDocument architecture;

    // Writes the image and the pictures into `folder`.
    explicit EditedDocuments(const QString& folder);
    // One step: a stroke, Reverse!, a grid, a label, or a layer added, removed, moved or updated;
    // with `undoRedo`, sometimes an undo or a redo instead.
    void randomStep(std::mt19937& random, bool undoRedo);
    // What the session keeps of all three, as comparable bytes.
    QString state() const;
    QUndoStack* stacks[3];
};

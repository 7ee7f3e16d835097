#pragma once

#include <QString>
#include <QUndoCommand>
#include <utility>
#include <vector>

class ImageSetDocument;

// Labels given to selected pictures, in bulk or typed under one thumbnail.
class LabelImagesCommand : public QUndoCommand {
public:
    // `labels`: the new label of each stored name; `count`: the pictures the user labelled.
    // A typed label arrives a keystroke at a time: each merges into the one before it when it
    // labels the same picture, so the whole typed word is one undo step.
    LabelImagesCommand(ImageSetDocument& document, std::vector<std::pair<QString, QString>> labels, int count, bool typed);
    void undo() override { swap(); }
    void redo() override { swap(); }
    int id() const override { return m_typed ? 2 : -1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    void swap();

    ImageSetDocument& m_document;
    std::vector<std::pair<QString, QString>> m_labels;
    bool m_typed;
};

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
    LabelImagesCommand(ImageSetDocument& document, std::vector<std::pair<QString, QString>> labels, int count);
    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    void swap();

    ImageSetDocument& m_document;
    std::vector<std::pair<QString, QString>> m_labels;
};

#include "data/labelimagescommand.h"

#include "data/imagesetdocument.h"

LabelImagesCommand::LabelImagesCommand(ImageSetDocument& document, std::vector<std::pair<QString, QString>> labels, int count,
                                       bool typed)
    : m_document(document), m_labels(std::move(labels)), m_typed(typed)
{
    setText(count == 1 ? QStringLiteral("Label 1 Image") : QStringLiteral("Label %1 Images").arg(count));
}

void LabelImagesCommand::swap() { m_document.swapLabels(m_labels); }

bool LabelImagesCommand::mergeWith(const QUndoCommand* other)
{
    const auto* next = static_cast<const LabelImagesCommand*>(other);
    if (next->m_labels.size() != 1 || m_labels.size() != 1 || next->m_labels.front().first != m_labels.front().first)
        return false;
    // The document holds the latest keystroke's label; this command keeps the one before typing.
    return true;
}

#include "data/labelimagescommand.h"

#include "data/imagesetdocument.h"

LabelImagesCommand::LabelImagesCommand(ImageSetDocument& document, std::vector<std::pair<QString, QString>> labels, int count)
    : m_document(document), m_labels(std::move(labels))
{
    setText(count == 1 ? QStringLiteral("Label 1 Image") : QStringLiteral("Label %1 Images").arg(count));
}

void LabelImagesCommand::swap() { m_document.swapLabels(m_labels); }

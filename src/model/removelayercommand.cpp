#include "model/removelayercommand.h"

#include "model/architecturedocument.h"

RemoveLayerCommand::RemoveLayerCommand(ArchitectureDocument& document, LayerEdit edit, const QString& name)
    : m_document(document), m_edit(std::move(edit))
{
    setText(QStringLiteral("Remove Layer %1").arg(name));
}

void RemoveLayerCommand::swap() { m_document.swapEdit(m_edit); }

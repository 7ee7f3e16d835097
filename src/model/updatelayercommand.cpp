#include "model/updatelayercommand.h"

#include "model/architecturedocument.h"

UpdateLayerCommand::UpdateLayerCommand(ArchitectureDocument& document, LayerEdit edit, const QString& name)
    : m_document(document), m_edit(std::move(edit))
{
    setText(QStringLiteral("Update Layer %1").arg(name));
}

void UpdateLayerCommand::swap() { m_document.swapEdit(m_edit); }

#include "model/insertlayercommand.h"

#include "model/architecturedocument.h"

InsertLayerCommand::InsertLayerCommand(ArchitectureDocument& document, LayerEdit edit)
    : m_document(document), m_edit(std::move(edit))
{
    setText(QStringLiteral("Add Layer %1").arg(QString::fromStdString(m_edit.layer.value("name", std::string()))));
}

void InsertLayerCommand::swap() { m_document.swapEdit(m_edit); }

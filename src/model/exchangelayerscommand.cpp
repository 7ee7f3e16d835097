#include "model/exchangelayerscommand.h"

#include "model/architecturedocument.h"

ExchangeLayersCommand::ExchangeLayersCommand(ArchitectureDocument& document, LayerEdit edit, int count)
    : m_document(document), m_edit(std::move(edit))
{
    setText(count == 1 ? QStringLiteral("Move Layer") : QStringLiteral("Move %1 Layers").arg(count));
}

void ExchangeLayersCommand::swap() { m_document.swapEdit(m_edit); }

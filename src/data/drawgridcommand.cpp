#include "data/drawgridcommand.h"

DrawGridCommand::DrawGridCommand(TileGridDocument& document, TileGridDocument::Grid grid)
    : m_document(document), m_grid(std::move(grid))
{
    setText(QStringLiteral("Draw Grid"));
}

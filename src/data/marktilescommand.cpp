#include "data/marktilescommand.h"

#include "data/tilegriddocument.h"

MarkTilesCommand::MarkTilesCommand(TileGridDocument& document, std::vector<TilePoint> marks, TilePoint tile, bool marking,
                                   int stroke)
    : m_document(document), m_marks(std::move(marks)), m_tiles{tile}, m_marking(marking), m_stroke(stroke)
{
    updateText();
}

void MarkTilesCommand::swap() { m_document.swapMarks(m_marks, m_tiles); }

bool MarkTilesCommand::mergeWith(const QUndoCommand* other)
{
    const auto* next = static_cast<const MarkTilesCommand*>(other);
    if (next->m_stroke != m_stroke)
        return false;
    // The document already holds the stroke's latest marks; this command keeps those before it.
    m_tiles += next->m_tiles;
    updateText();
    return true;
}

void MarkTilesCommand::updateText()
{
    const QString verb = m_marking ? QStringLiteral("Mark") : QStringLiteral("Unmark");
    setText(m_tiles.size() == 1 ? verb + QStringLiteral(" 1 Tile") : QStringLiteral("%1 %2 Tiles").arg(verb).arg(m_tiles.size()));
}

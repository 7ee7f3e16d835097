#include "data/reversegridcommand.h"

#include "data/tilegriddocument.h"

ReverseGridCommand::ReverseGridCommand(TileGridDocument& document) : m_document(document)
{
    setText(QStringLiteral("Reverse"));
}

void ReverseGridCommand::swap() { m_document.swapReversed(); }

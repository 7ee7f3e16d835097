// Data opening, the CSV table and the tile grid.
#include "app/viewcontroller.h"

#include "app/prompter.h"

namespace {
void notYet(Prompter& prompter) { prompter.alert(QStringLiteral("This feature is not yet available."), AlertStyle::Informational); }
}  // namespace

void ViewController::buildDataViews() {}
void ViewController::Opendata() { notYet(m_prompter); }
void ViewController::opentable(const QString&) { notYet(m_prompter); }
void ViewController::openSingleImageurl(const QString&) { notYet(m_prompter); }
void ViewController::drawgrid() { notYet(m_prompter); }
void ViewController::reversegrid() { notYet(m_prompter); }
void ViewController::refreshTileGrid() {}

// The result pane, ingestion of predictions, the metrics image and the export.
#include "app/viewcontroller.h"

#include "app/prompter.h"

namespace {
void notYet(Prompter& prompter) { prompter.alert(QStringLiteral("This feature is not yet available."), AlertStyle::Informational); }
}  // namespace

void ViewController::buildResultViews() {}
void ViewController::openresultview() { notYet(m_prompter); }
void ViewController::openMetricimage(const QString&) { notYet(m_prompter); }
void ViewController::outputresult() { notYet(m_prompter); }

// The result pane, ingestion of predictions and the metrics image.
#include "app/viewcontroller.h"

#include "app/prompter.h"

namespace {
void notYet(Prompter& prompter) { prompter.alert(QStringLiteral("This feature is not yet available."), AlertStyle::Informational); }
}  // namespace

void ViewController::buildResultViews() {}
void ViewController::openresultview() { notYet(m_prompter); }
void ViewController::openMetricimage(const QString&) { notYet(m_prompter); }

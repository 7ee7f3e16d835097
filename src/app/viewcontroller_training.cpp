// Training strategy, data preparation and the training run.
#include "app/viewcontroller.h"

#include "app/prompter.h"

namespace {
void notYet(Prompter& prompter) { prompter.alert(QStringLiteral("This feature is not yet available."), AlertStyle::Informational); }
}  // namespace

void ViewController::buildTrainingViews() {}
void ViewController::strategyconfig() { notYet(m_prompter); }
void ViewController::trainNN() { notYet(m_prompter); }
QString ViewController::preparedata() { return datadirectory; }
QImage ViewController::trimimage(const QImage&, const QRect&) const { return QImage(); }

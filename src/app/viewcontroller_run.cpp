// Starting a training or test run.
#include "app/viewcontroller.h"

#include "app/prompter.h"

namespace {
void notYet(Prompter& prompter) { prompter.alert(QStringLiteral("This feature is not yet available."), AlertStyle::Informational); }
}  // namespace

void ViewController::strategyconfig() { notYet(m_prompter); }
void ViewController::trainNN() { notYet(m_prompter); }

// Model sources and the Python environment check.
#include "app/viewcontroller.h"

#include "app/prompter.h"

namespace {
void notYet(Prompter& prompter) { prompter.alert(QStringLiteral("This feature is not yet available."), AlertStyle::Informational); }
}  // namespace

void ViewController::buildModelViews() {}
void ViewController::comboBoxSelectionDidChange(QComboBox*) {}
void ViewController::buildcustommodel() { notYet(m_prompter); }
void ViewController::loadmodeljson(const QString&) { notYet(m_prompter); }
void ViewController::Openmodel() { notYet(m_prompter); }
void ViewController::generateMLModel() { notYet(m_prompter); }
void ViewController::exampython() {}
void ViewController::exampackage() {}
const nlohmann::ordered_json& ViewController::editorDocument() const
{
    static const nlohmann::ordered_json none;
    return none;
}

// The layer graph editor, its catalogue and its document.
#include "app/viewcontroller.h"
#include "app/trainpane.h"

#include "dialogs/prompter.h"
#include "model/archdocument.h"
#include "model/architecturedocument.h"
#include "model/catalogue.h"
#include "model/ui/nodecollection.h"
#include "util/diagnostics.h"
#include "worker/paths.h"

#include <QComboBox>
#include <QScrollArea>

void ViewController::addnodeclass(const QString& classname)
{
    // Only a custom model takes new layers; the box is enabled once one was built.
    if (!m_trainPane->nodeclass()->isEnabled() || m_architecture->document().isEmpty())
        return;
    diag::print(classname);
    // The start architecture lacks some offered classes; those come from the extra templates.
    const ParseOutcome extra = archdoc::readFile(paths::resourcePath(QStringLiteral("layertemplates"), QStringLiteral("json")));
    const std::optional<Json> layer = archdoc::findTemplate(jsonprepare, extra.json.value_or(Json()), classname);
    if (!layer) {
        m_prompter.alert(QStringLiteral("No layer template for class %1 was found.").arg(classname), AlertStyle::Warning);
        return;
    }
    m_trainPane->nodecollectionView()->addlayer(*layer);
}

void ViewController::showModelGraph(const Json& document, bool customized)
{
    removesubviews(RightView);
    m_architecture->setDocument(document, customized);
    setDocumentView(m_trainPane->nodecollectionView());
    lasttrainview = m_trainPane->nodecollectionView();
}

const nlohmann::ordered_json& ViewController::editorDocument() const { return m_architecture->json(); }

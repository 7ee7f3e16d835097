// The thumbnail browser of a multi-image input.
#include "app/viewcontroller.h"

#include "app/prompter.h"

namespace {
void notYet(Prompter& prompter) { prompter.alert(QStringLiteral("This feature is not yet available."), AlertStyle::Informational); }
}  // namespace

void ViewController::buildBrowserViews() {}
void ViewController::reloadMultiImageBrowser() {}
void ViewController::openMultiImageurl() { notYet(m_prompter); }
void ViewController::labelmultiimage() { notYet(m_prompter); }

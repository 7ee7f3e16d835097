// The training strategy form and the preparation of training data.
#include "app/viewcontroller.h"

#include "app/prompter.h"

namespace {
void notYet(Prompter& prompter) { prompter.alert(QStringLiteral("This feature is not yet available."), AlertStyle::Informational); }
}  // namespace

void ViewController::buildTrainingViews() {}
QString ViewController::preparedata() { return datadirectory; }
QImage ViewController::trimimage(const QImage&, const QRect&) const { return QImage(); }

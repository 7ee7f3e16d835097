#pragma once

#include "training/trainingstrategy.h"

#include <QString>
#include <QStringList>
#include <optional>

// The command line of the training worker and the run values it is built from.
namespace trainnn {

// The last path component of the first opened file, cut at its first "." ("field.2020.jpg"
// gives "field").
QString rootName(const QString& firstInput);

// The label document of an input kind: "<root>_outputlabel.csv" for a single image,
// "folderimage_outputlabel.csv" for several images, empty for anything else.
QString labelDocumentName(int inputdatatype, const QString& root);

// The epoch count of a text that is a positive whole number (blanks around it allowed, as the
// worker allows them); nullopt for anything else.
std::optional<int> epochCount(const QString& text);
// The same rule for the batch size: the worker refuses anything else, but only once it started.
inline std::optional<int> batchSize(const QString& text) { return epochCount(text); }

struct Request {
    QString scriptPath;         // argument 0
    QString modelFile;          // the edited architecture document
    QString workspace;
    QString modelname;
    QString resourceModelFile;  // the pre-trained architecture file, or empty
    QString labelDocument;      // a file name inside the workspace
    TrainingStrategy strategy;
    QString inputScaling;       // overrides the form's input scaling when not empty
    QString networkMode = QStringLiteral("full");
};

// The script path, then the arguments the worker reads, in its order: the 17 it requires, then
// the input scaling and the class names, keeping the best epoch, the early-stopping patience
// ("0" when the run does not stop early) and the network mode.
QStringList arguments(const Request& request);

// What the worker trains: "full", the network as documented; for a pre-trained backbone with a
// new top, "top" when only that top learns and "finetune" when everything does. A backbone
// left with random weights has learnt nothing worth keeping fixed, so it always learns.
QString networkMode(bool pretrainedBackbone, bool trainOnlyTop, bool randomWeights);

}  // namespace trainnn

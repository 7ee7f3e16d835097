#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What a run's files say before and after the worker: the training data's classes, and whether
// a test's predictions can match its labels at all.
namespace runchecks {

// The label document a training run reads, as the worker finds it: the chosen training label
// document, else `labelDocument` in the training folder, else the only "*_outputlabel.csv"
// there. Empty when none is found (the worker then says why).
QString trainingLabelDocument(const QString& trainingFolder, const QString& trainingDoc, const QString& labelDocument);

struct Labels {
    QStringList distinct;  // in first-seen order
    int samples = 0;
    QString error;         // the file could not be read or has no "label" column
};
// The labels of a label CSV, its column found by the header's name.
Labels labelsOf(const QString& path);

// Why a training run on these labels cannot learn anything, or nothing when it can: training
// needs at least two classes.
std::optional<QString> singleClassProblem(const Labels& labels);

// For a prediction file (the label CSV with a leading row-number column and the prediction
// appended): when every prediction differs from every label text, says so, naming both sets.
std::optional<QString> noMatchingClass(const QString& predictionText);

}  // namespace runchecks

#pragma once

#include "data/tilegridstate.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Reading a finished run's results back from the workspace.
namespace resultingestion {

// Which prediction file, and which rule, an input kind uses.
enum class Target { Tiles, Images, None };
Target targetFor(int inputdatatype);

// "<root>_outputlabel.csv", "folderimage_outputlabel.csv", or empty for a table input.
QString predictionFileName(Target target, const QString& root);

struct Reading {
    bool readable = false;  // the prediction file could be read
    std::vector<TilePoint> tiles;
    QHash<QString, QString> images;
};
// Reads the prediction file of `target` in `workspace` and applies its rule.
Reading readPredictions(const QString& workspace, Target target, const QString& root);

struct Scan {
    QString error;            // the workspace could not be listed
    QStringList modelEntries; // names containing "my_model"
};
// The finished-model entries of the workspace.
Scan scanForModel(const QString& workspace);

}  // namespace resultingestion

#pragma once

#include "data/tilegridstate.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// The worker's prediction file: the label CSV with a leading row-number column and the predicted
// label appended, so fields 2 and 3 are the tile row and column, field 4 the image file name
// and field 6 the prediction. Lines end with a line feed; fields are not quoted or trimmed.
namespace predictions {

// Lines split at every line feed, fields at every comma, exactly as read.
QList<QStringList> records(const QString& text);

// Tiles whose prediction is exactly "1", in file order. Lines without a seventh field or with
// tile indices that are not whole numbers are skipped.
std::vector<TilePoint> tilePredictions(const QList<QStringList>& records);

// Prediction by image file name; a later line naming the same image wins. Lines without a
// seventh field are skipped; the header adds a harmless entry under its own column name.
QHash<QString, QString> imagePredictions(const QList<QStringList>& records);

}  // namespace predictions

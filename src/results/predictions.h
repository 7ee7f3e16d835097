#pragma once

#include "data/tilegridstate.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <vector>

// The worker's prediction file: the label CSV with a leading row-number column and the predicted
// label appended, so fields 2 and 3 are the tile row and column, field 4 the image file name
// and field 6 the prediction. Lines are split at every line feed, fields at every comma; fields
// are not quoted or trimmed. The header is read like any other line. A file of a large grid
// has tens of thousands of lines, so it is scanned in place rather than split into field lists.
namespace predictions {

// Tiles whose prediction is exactly "1", in file order. Lines without a seventh field or with
// tile indices that are not whole numbers are skipped.
std::vector<TilePoint> tilePredictions(QStringView text);

// Prediction by image file name; a later line naming the same image wins. Lines without a
// seventh field are skipped; the header adds a harmless entry under its own column name.
QHash<QString, QString> imagePredictions(QStringView text);

// One "row column" line per tile, the diagnostic the ingestion prints; empty for no tiles.
QString tileListing(const std::vector<TilePoint>& tiles);

}  // namespace predictions

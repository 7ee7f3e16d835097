#pragma once

#include "data/tilegridstate.h"

#include <QByteArray>
#include <QHash>
#include <QRect>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// What the training workers read: one label CSV record per sample and the names of the files
// that hold the samples. Pure values; writing them out is the caller's business.
namespace datapreparation {

// One line of the label CSV.
struct LabelRecord {
    int index = 0;
    int i = 0;
    int j = 0;
    QString filename;
    QString label;
    bool operator==(const LabelRecord& o) const
    {
        return index == o.index && i == o.i && j == o.j && filename == o.filename && label == o.label;
    }
};

inline const QString kFolderCsvName = QStringLiteral("folderimage_outputlabel");
inline const QString kCsvSuffix = QStringLiteral("_outputlabel");

// The last path component cut at its first "." ("/a/field.2020.jpg" gives "field").
QString rootName(const QString& path);

// "<root>_<i><j>.png" while both counts are at most 10; larger grids put a "_" between the row
// and the column, since "1" "12" and "11" "2" would otherwise name the same file.
QString tileFileName(const QString& root, int i, int j, int rows, int cols);

// Whole tile size in pixels: image size divided by the counts, truncated. Empty when the grid
// or the image is missing or degenerate, so callers can refuse instead of dividing by zero.
std::optional<QSize> tileSize(const std::optional<QSizeF>& imagesize, const std::optional<int>& rows,
                              const std::optional<int>& cols);

// Tile (i, j) in the image's bottom-left coordinates: row 0 is the bottom row.
QRect tileRectBL(int i, int j, const QSize& tile);

// A bottom-left rectangle of an image `imageHeight` pixels high, in Qt's top-left coordinates.
QRect toTopLeft(const QRect& bottomLeft, int imageHeight);

// Records of a single image cut into rows x cols tiles, rows outer, columns inner. A marked tile
// is labelled 1, or 0 while `reversed`; unmarked tiles get the other label.
std::vector<LabelRecord> gridRecords(const QString& root, int rows, int cols,
                                     const std::vector<TilePoint>& clickpoints, bool reversed);

// One sample of a multi-image input: where it comes from and the name it is stored under.
struct FolderSample {
    QString source;      // the opened file
    QString storedName;  // file name in the workspace without ".png"
};

// The open images in display order, each stored name once (the first image wins: two files
// whose names differ only in extension share a stored name and so a label).
std::vector<FolderSample> folderSamples(const QStringList& urlarray);

// Records of a multi-image input: index, i and j all the running number; images without a
// label entry count as "0", the label every image starts with. Commas and line breaks in a
// typed label become "_".
std::vector<LabelRecord> folderRecords(const std::vector<FolderSample>& samples,
                                       const QHash<QString, QString>& labels);

// The label CSV: header "index,i,j,filename,label", each line ended by a line feed, no quotes.
QByteArray labelCsvText(const std::vector<LabelRecord>& records);

// Whether the workspace cleaning keeps an entry: a file whose name's part between the first and
// the second "." is "csv". Folders and names without a "." go.
bool keptByCleaning(const QString& name, bool isDirectory);

}  // namespace datapreparation

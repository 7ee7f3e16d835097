#pragma once

#include <QSize>
#include <QString>
#include <optional>

// Reading the grid's column and row counts typed in the label pane.
namespace gridcounts {

struct GridCounts {
    int cols = 0;
    int rows = 0;
    int gridnum = 0;    // cols x rows
    QSize tileSize;     // tile size in image pixels (image size / counts, truncated)
};

struct GridCountsResult {
    std::optional<GridCounts> counts;
    QString error;  // what is wrong, for the user, when counts is absent
};

// Each text is read as a leading decimal integer ("4abc" reads 4, " 7" reads 7). Fractions
// ("2.5"), counts below 1, counts whose product leaves the 32-bit range, and counts larger than
// the image's pixel size (tiles without pixels) are refused with a message.
GridCountsResult readGridCounts(const QString& colText, const QString& rowText, const QSize& imagePixels);

}  // namespace gridcounts

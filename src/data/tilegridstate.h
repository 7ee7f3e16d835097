#pragma once

#include <QSizeF>
#include <optional>
#include <vector>

// A tile address: row 0 is the bottom row, column 0 the left column.
struct TilePoint {
    int row = 0;
    int col = 0;
    bool operator==(const TilePoint& o) const { return row == o.row && col == o.col; }
    bool operator!=(const TilePoint& o) const { return !(*this == o); }
};

// What the tile grid shows and what labelling and prediction write into it. The controller owns
// it; the grid view draws from it and the preparation and result ingestion read and write it.
struct TileGridState {
    std::optional<QSizeF> imagesize;  // the opened image, in points
    std::optional<QSizeF> viewsize;   // the area the image is fitted into
    std::optional<int> rownum;
    std::optional<int> colnum;
    QSizeF drawsize{0, 0};            // the displayed image, recomputed at every redraw
    std::vector<int> gridstate{0};    // element 0 non-zero once a grid is drawn
    std::vector<TilePoint> clickpoints;  // marked tiles, in marking order
    std::vector<bool> reverse{false};    // element 0: marks stand for label 0
    std::vector<TilePoint> predictpoints;  // tiles predicted "1"
    bool hasprediction = false;

    bool hasGrid() const { return !gridstate.empty() && gridstate.front() != 0; }
    bool reversed() const { return !reverse.empty() && reverse.front(); }
};

#pragma once

#include <QSizeF>
#include <optional>
#include <vector>

// What the live accuracy chart draws. Point lists are read pairwise by index (x: epoch index,
// y: accuracy in whole percent).
struct ChartState {
    std::optional<int> rownum;      // accuracy rows of the grid (100)
    std::optional<int> colnum;      // epoch columns of the grid
    std::vector<int> checkstate{0}; // element 0 non-zero: drawing switched on
    QSizeF drawsize{0, 0};          // the grid area, 400 by 400 at every redraw
    std::vector<int> train_x;
    std::vector<int> train_y;
    std::vector<int> valid_x;
    std::vector<int> valid_y;

    bool drawingOn() const { return !checkstate.empty() && checkstate.front() != 0; }
};

// The four point lists as the run monitor hands them over.
struct ChartPoints {
    std::vector<int> valid_x;
    std::vector<int> valid_y;
    std::vector<int> train_x;
    std::vector<int> train_y;
};

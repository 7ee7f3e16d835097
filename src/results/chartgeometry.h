#pragma once

#include "results/chartstate.h"

#include <QLineF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The chart's drawing in its own coordinates: origin at the bottom-left corner, y upward, in
// points. The view converts once when painting.
namespace chartgeometry {

struct Text {
    QRectF rect;
    QString text;
    bool centred = false;  // centred in its box; else from its left edge
};

struct Geometry {
    int xstep = 0;
    int ystep = 0;
    std::vector<QLineF> grid;  // each cell's left and top edges
    QRectF legendBox;
    QRectF trainMarker;
    QRectF validMarker;
    std::vector<Text> texts;   // legend entries, "Eporch:", the epoch and the accuracy numbers
    std::vector<QRectF> trainPoints;
    std::vector<QRectF> validPoints;
};

// The grid area every redraw uses.
constexpr double kDrawSide = 400;

// nullopt when only the base view is drawn: drawing switched off, or no rows or columns to
// draw (an epoch count of 0 or one that is no number).
std::optional<Geometry> layout(const ChartState& state);

// Epoch (x) and accuracy (y, whole percent) points from accuracy texts: each text that is a
// number becomes value x 100 in single precision, truncated; texts that are no (finite) number are left
// out together with their epoch, so the lists stay pairwise.
void pointsFromTexts(const QStringList& texts, const std::vector<int>& epochs, std::vector<int>& xs, std::vector<int>& ys);

// The accuracy scale caption beside the chart; its numbers are drawn by the chart, on its rows.
QString accuracyScaleText();

// Width of the chart view: the grid and, right of its last epoch, the legend.
constexpr double kChartWidth = 512;

}  // namespace chartgeometry

#pragma once

#include "results/chartstate.h"

#include <QWidget>

// The live accuracy chart: a grid of accuracy rows by epoch columns, a legend, the epoch axis
// and one dot per training (blue) and validation (orange) accuracy. Draws from `state`, which
// the result pane configures and the run monitor refills.
class RealTimeImageView : public QWidget {
    Q_OBJECT
public:
    explicit RealTimeImageView(QWidget* parent = nullptr);

    ChartState state;

    // Replaces the four point lists and asks for a redraw.
    void setPoints(const ChartPoints& points);

protected:
    void paintEvent(QPaintEvent* event) override;
};

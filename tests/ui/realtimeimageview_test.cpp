#include "results/ui/realtimeimageview.h"

#include <QImage>
#include <gtest/gtest.h>

// Where the points go is the chart geometry test's; here, that they are painted there.
TEST(RealTimeImageView, PaintsThePointsWhereTheChartPutsThem)
{
    RealTimeImageView view;
    view.state.rownum = 100;
    view.state.colnum = 10;
    view.state.checkstate.insert(view.state.checkstate.begin(), 1);
    view.setPoints(ChartPoints{{0, 1}, {0, 50}, {0, 3}, {0, 87}});
    view.resize(500, 450);
    const QImage image = view.grab().toImage();
    // Training (3, 87): bottom-left (140, 372) 4 by 4 is the top-left (140, 74) in a 450-high view.
    EXPECT_EQ(image.pixelColor(142, 76), QColor(0, 0, 255));
    // Validation (1, 50): bottom-left (60, 224).
    EXPECT_EQ(image.pixelColor(62, 224), QColor(255, 128, 0));
}

#include "results/ui/realtimeimageview.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {
// On the result pane's white background, as the chart is shown.
QImage render(RealTimeImageView& view)
{
    view.setAutoFillBackground(true);
    QPalette white = view.palette();
    white.setColor(QPalette::Window, Qt::white);
    view.setPalette(white);
    view.resize(500, 450);
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int count(const QImage& image, const std::function<bool(QColor)>& test)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += test(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

// Where the points and grid go is the chart geometry test's; here, that they are painted.
TEST(RealTimeImageView, PaintsThePointsAndGridWhereTheChartPutsThem)
{
    RealTimeImageView view;
    view.state.rownum = 100;
    view.state.colnum = 10;
    view.state.checkstate.insert(view.state.checkstate.begin(), 1);
    view.setPoints(ChartPoints{{0, 1}, {0, 50}, {0, 3}, {0, 87}});
    const QImage image = render(view);
    // Training (3, 87): bottom-left (140, 372) 4 by 4 is the top-left (140, 74) in a 450-high view.
    EXPECT_EQ(image.pixelColor(142, 76), QColor(0, 0, 255));
    // Validation (1, 50): bottom-left (60, 224).
    EXPECT_EQ(image.pixelColor(62, 224), QColor(255, 128, 0));
    const auto gray = [](QColor c) { return c.saturation() < 20 && c.value() < 245 && c.value() > 100; };
    EXPECT_GT(count(image.copy(20, 30, 400, 400), gray), 1000);  // the grid's light lines
}
}  // namespace

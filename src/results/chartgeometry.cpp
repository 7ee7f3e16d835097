#include "results/chartgeometry.h"

#include "util/textutil.h"

#include <algorithm>
#include <cmath>

namespace chartgeometry {
namespace {
constexpr double kOrigin = 20;  // the grid starts this far from the left and bottom edges

void addGrid(Geometry& g, int rows, int cols)
{
    // With more columns than points (xstep 0) every column lies on the first one.
    const int distinctCols = g.xstep > 0 ? cols : 1;
    g.grid.reserve(size_t(rows) * size_t(distinctCols) * 2);
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < distinctCols; ++j) {
            const double x0 = kOrigin + j * g.xstep;
            const double y0 = kOrigin + i * g.ystep;
            g.grid.emplace_back(x0, y0 + g.ystep, x0, y0);
            g.grid.emplace_back(x0, y0 + g.ystep, x0 + g.xstep, y0 + g.ystep);
        }
    }
}

void addLegend(Geometry& g, int rows)
{
    // Right of the last epoch's points (they reach 4 points past its line), never over them.
    const QPointF L(kOrigin + kDrawSide + 10, (rows / 2) * g.ystep);
    g.legendBox = QRectF(L.x(), L.y(), 80, 40);
    g.trainMarker = QRectF(L.x() + 10, L.y() + 25, 5, 5);
    g.validMarker = QRectF(L.x() + 10, L.y() + 5, 5, 5);
    g.texts.push_back({QRectF(L.x() + 15, L.y() + 15, 60, 20), QStringLiteral("Train Acc")});
    g.texts.push_back({QRectF(L.x() + 15, L.y() - 5, 60, 20), QStringLiteral("Valid Acc")});
}

// Epochs 1 to the last, each centred under its line; with narrow columns every n-th (n a round
// number that keeps the numbers apart) and the last one always. The caption stands right of the
// grid, under the legend, clear of the numbers.
void addEpochAxis(Geometry& g, int cols)
{
    constexpr double kGap = 24;  // the least distance between the centres of two numbers
    g.texts.push_back({QRectF(kOrigin + kDrawSide + 10, 13, 60, 10), QStringLiteral("Eporch:")});
    if (g.xstep <= 0)
        return;  // the numbers would all sit on the first line
    int stride = 1;
    for (const int step : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}) {
        stride = step;
        if (step * g.xstep >= kGap)
            break;
    }
    std::vector<int> epochs;
    for (int k = stride; k <= cols; k += stride)
        epochs.push_back(k);
    if (!epochs.empty() && epochs.back() != cols && (cols - epochs.back()) * g.xstep < kGap)
        epochs.pop_back();  // makes room for the last epoch's number
    if (epochs.empty() || epochs.back() != cols)
        epochs.push_back(cols);
    for (const int k : epochs)
        g.texts.push_back({QRectF(kOrigin + k * g.xstep - kGap / 2, 13, kGap, 10), QString::number(k), true});
}

// 0, 10, ... 100 beside the rows they stand for, left of the grid.
void addAccuracyAxis(Geometry& g)
{
    for (int value = 0; value <= 100; value += 10)
        g.texts.push_back({QRectF(0, kOrigin + value * g.ystep - 5, kOrigin - 3, 10), QString::number(value), true});
}

std::vector<QRectF> points(const std::vector<int>& xs, const std::vector<int>& ys, int xstep, int ystep)
{
    std::vector<QRectF> out;
    const size_t n = std::min(xs.size(), ys.size());
    out.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        if (xs[k] <= 0)
            continue;  // epoch 0 holds the lists' starting "0", not a result
        out.emplace_back(kOrigin + double(xs[k]) * xstep, kOrigin + double(ys[k]) * ystep + ystep, 4, 4);
    }
    return out;
}
}  // namespace

std::optional<Geometry> layout(const ChartState& state)
{
    if (!state.drawingOn())
        return std::nullopt;
    const int rows = state.rownum.value_or(0);
    const int cols = state.colnum.value_or(0);
    if (rows < 1 || cols < 1)
        return std::nullopt;
    Geometry g;
    g.ystep = int(state.drawsize.height() / rows);
    g.xstep = int(state.drawsize.width() / cols);
    addGrid(g, rows, cols);
    addLegend(g, rows);
    addEpochAxis(g, cols);
    if (rows == 100)
        addAccuracyAxis(g);
    g.trainPoints = points(state.train_x, state.train_y, g.xstep, g.ystep);
    g.validPoints = points(state.valid_x, state.valid_y, g.xstep, g.ystep);
    return g;
}

void pointsFromTexts(const QStringList& texts, const std::vector<int>& epochs, std::vector<int>& xs, std::vector<int>& ys)
{
    xs.clear();
    ys.clear();
    for (qsizetype k = 0; k < texts.size() && size_t(k) < epochs.size(); ++k) {
        const std::vector<float> value = textutil::floatArrayFromStrings({texts.at(k)});
        if (value.empty())
            continue;
        const float percent = value.front() * 100.0f;
        if (!std::isfinite(percent) || std::fabs(percent) > 1e7f)
            continue;  // not an accuracy; converting it to an integer would overflow
        xs.push_back(epochs[size_t(k)]);
        ys.push_back(textutil::intArrayFromFloats({percent}).front());
    }
}

QString accuracyScaleText()
{
    return QStringLiteral("Accuracy(%)");
}

}  // namespace chartgeometry

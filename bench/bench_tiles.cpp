// Cutting a large image into tile PNGs the way the training preparation does, for timing
// against peer tools (see bench_tiles.py, which runs it).
//   bench_tiles make-image OUT.png SIZE    a SIZE x SIZE textured RGB test image
//   bench_tiles cut IN.png OUTDIR TILE     every TILE x TILE tile, rows from the bottom
//   bench_tiles cut-savepng IN.png OUTDIR TILE    the same through imageutil::savePngTo at zlib level 1
#include "training/datapreparation.h"
#include "training/tilecutter.h"

#include "util/imageutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtConcurrent/QtConcurrentMap>
#include <atomic>
#include <cmath>
#include <cstdio>

namespace {

// Smooth fields with grain, so the PNG encoder has photo-like work to do.
int makeImage(const QString& out, int size)
{
    QImage image(size, size, QImage::Format_RGB888);
    QRandomGenerator rng(7);
    for (int y = 0; y < size; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < size; ++x) {
            const double field = std::sin(x / 97.0) * std::cos(y / 131.0) + std::sin((x + y) / 53.0);
            const int grain = int(rng.bounded(24)) - 12;
            line[3 * x] = uchar(qBound(0, int(110 + 60 * field) + grain, 255));
            line[3 * x + 1] = uchar(qBound(0, int(140 + 45 * std::sin(y / 71.0)) + grain, 255));
            line[3 * x + 2] = uchar(qBound(0, int(90 + 50 * std::cos(x / 59.0)) + grain / 2, 255));
        }
    }
    if (!image.save(out, "png", 85)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}

// imageutil::savePngTo at quality 85 (zlib level 1), for comparison with the sample writer.
size_t saveWithSavePngTo(const QImage& image, const std::vector<QRect>& rects, const QStringList& targets)
{
    std::vector<int> jobs(rects.size());
    for (size_t k = 0; k < jobs.size(); ++k)
        jobs[k] = int(k);
    std::atomic<size_t> failures{0};
    QtConcurrent::blockingMap(jobs, [&](int k) {
        const QImage t = tilecutter::trimimage(image, rects[size_t(k)]);
        if (imageutil::savePngTo(t, targets.at(k), 85))
            ++failures;
    });
    return failures;
}

int cut(const QString& in, const QString& outDir, int tile, bool viaSavePng)
{
    QElapsedTimer clock;
    clock.start();
    QImageReader reader(in);
    const QImage image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "cannot read %s: %s\n", qPrintable(in), qPrintable(reader.errorString()));
        return 1;
    }
    const qint64 loaded = clock.elapsed();
    const int rows = image.height() / tile;
    const int cols = image.width() / tile;
    const QString root = datapreparation::rootName(in);
    std::vector<QRect> rects;
    QStringList targets;
    QDir().mkpath(outDir);
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            rects.push_back(datapreparation::tileRectBL(i, j, QSize(tile, tile)));
            targets << outDir + QLatin1Char('/') + datapreparation::tileFileName(root, i, j, rows, cols);
        }
    }
    const size_t failures =
        viaSavePng ? saveWithSavePngTo(image, rects, targets) : tilecutter::saveTiles(image, rects, targets).size();
    std::printf("%lld tiles, load %lld ms, cut %lld ms, %zu failures\n", (long long)targets.size(),
                (long long)loaded, (long long)(clock.elapsed() - loaded), failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QImageReader::setAllocationLimit(0);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("make-image"))
        return makeImage(args[2], args[3].toInt());
    if (args.size() == 5 && (args[1] == QLatin1String("cut") || args[1] == QLatin1String("cut-savepng")))
        return cut(args[2], args[3], args[4].toInt(), args[1] == QLatin1String("cut-savepng"));
    std::fprintf(stderr, "usage: bench_tiles make-image OUT.png SIZE | cut[-qtwriter] IN.png OUTDIR TILE\n");
    return 2;
}

// Cutting a large image into tile PNGs the way the training preparation does, for timing
// against peer tools (see bench_tiles.py, which runs it), and reading a grid's predictions back.
//   bench_tiles make-image OUT.png SIZE    a SIZE x SIZE textured RGB test image
//   bench_tiles cut IN.png OUTDIR TILE     every TILE x TILE tile, rows from the bottom
//   bench_tiles cut-savepng IN.png OUTDIR TILE    the same through imageutil::savePngTo at zlib level 1
//   bench_tiles readback [SIDE]            a SIDE x SIDE grid's prediction file (default 250: 62,500
//                                          rows) read back as the result ingestion does, next to a
//                                          plain split of the same file into lines and fields
#include "results/predictions.h"
#include "results/resultingestion.h"
#include "training/datapreparation.h"
#include "training/tilecutter.h"
#include "util/diagnostics.h"

#include "util/imageutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtConcurrent/QtConcurrentMap>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <unistd.h>

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

// The worker's prediction file for a side x side grid (tile files as the preparation names them),
// every tile predicted "1" so that each one is also listed; or the folder file for as many images.
QByteArray predictionFile(int side, bool tiles)
{
    QByteArray text(",index,i,j,filename,label,prediction\n");
    int n = 0;
    for (int i = 0; i < side; ++i) {
        for (int j = 0; j < side; ++j, ++n) {
            const QString name = tiles ? datapreparation::tileFileName(QStringLiteral("field"), i, j, side, side)
                                       : QStringLiteral("photo%1.png").arg(n);
            text += QByteArray::number(n) + ',' + QByteArray::number(n + 1) + ',' + QByteArray::number(tiles ? i : n + 1)
                    + ',' + QByteArray::number(tiles ? j : n + 1) + ',' + name.toUtf8() + ",0," + (tiles ? "1" : "cat")
                    + '\n';
        }
    }
    return text;
}

// The ingestion's own work for the tile grid: read and scan the file, hand the tiles over, print
// one diagnostic line per tile (into /dev/null: a terminal's speed is not ours to measure).
double ingestTiles(const QString& dir, size_t& count)
{
    QElapsedTimer clock;
    clock.start();
    resultingestion::Reading reading = resultingestion::readPredictions(dir, resultingestion::Target::Tiles,
                                                                        QStringLiteral("field"));
    std::vector<TilePoint> grid = std::move(reading.tiles);
    diag::line(predictions::tileListing(grid));
    count = grid.size();
    return clock.nsecsElapsed() / 1e6;
}

double ingestImages(const QString& dir, size_t& count)
{
    QElapsedTimer clock;
    clock.start();
    const resultingestion::Reading reading = resultingestion::readPredictions(
        dir, resultingestion::Target::Images, QString());
    count = size_t(reading.images.size());
    return clock.nsecsElapsed() / 1e6;
}

// The peer: the same file read and split at every line feed and comma, nothing else.
double plainSplit(const QString& path, size_t& count)
{
    QElapsedTimer clock;
    clock.start();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QList<QStringList> rows;
    rows.reserve(lines.size());
    for (const QString& line : lines)
        rows.append(line.split(QLatin1Char(',')));
    count = size_t(rows.size());
    return clock.nsecsElapsed() / 1e6;
}

int readback(int side)
{
    QTemporaryDir dir;
    for (const bool tiles : {true, false}) {
        const QString name = tiles ? QStringLiteral("field_outputlabel.csv") : QStringLiteral("folderimage_outputlabel.csv");
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(predictionFile(side, tiles)) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    std::printf("prediction file of a %d x %d grid (%d rows), best of 5 rounds, ours and the peer alternating\n",
                side, side, side * side);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    double tiles = 1e9, images = 1e9, splitTiles = 1e9, splitImages = 1e9;
    size_t tileCount = 0, imageCount = 0, lineCount = 0;
    for (int round = 0; round < 5; ++round) {
        std::freopen("/dev/null", "w", stdout);
        tiles = std::min(tiles, ingestTiles(dir.path(), tileCount));
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        splitTiles = std::min(splitTiles, plainSplit(dir.filePath(QStringLiteral("field_outputlabel.csv")), lineCount));
        images = std::min(images, ingestImages(dir.path(), imageCount));
        splitImages = std::min(splitImages, plainSplit(dir.filePath(QStringLiteral("folderimage_outputlabel.csv")), lineCount));
    }
    std::printf("  tiles predicted \"1\", read into the grid and listed  %8.1f ms   peer (plain split) %8.1f ms   "
                "ratio %5.2fx   %zu tiles   target < 1000 ms\n",
                tiles, splitTiles, tiles / splitTiles, tileCount);
    std::printf("  image predictions read for the browser              %8.1f ms   peer (plain split) %8.1f ms   "
                "ratio %5.2fx   %zu names\n",
                images, splitImages, images / splitImages, imageCount);
    return 0;
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
    if ((args.size() == 2 || args.size() == 3) && args[1] == QLatin1String("readback"))
        return readback(args.size() == 3 ? args[2].toInt() : 250);
    std::fprintf(stderr, "usage: bench_tiles make-image OUT.png SIZE | cut[-savepng] IN.png OUTDIR TILE | readback [SIDE]\n");
    return 2;
}

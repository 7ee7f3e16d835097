#include "support/sampletiles.h"

#include <QDir>
#include <QImage>
#include <QTest>
#include <QWidget>

namespace sampletiles {

const std::vector<TilePoint>& river()
{
    static const std::vector<TilePoint> tiles = {{0, 0}, {0, 1}, {1, 1}, {1, 2}, {2, 3},
                                                 {2, 4}, {3, 4}, {3, 5}, {4, 6}, {5, 7}};
    return tiles;
}

void click(QWidget* grid, TilePoint tile, int cols, int rows)
{
    const QImage shot = grid->grab().toImage();
    int width = 0, height = 0;  // the image lies at the bottom-left
    while (width < shot.width() && shot.pixelColor(width, shot.height() - 1) != Qt::black)
        ++width;
    while (height < shot.height() && shot.pixelColor(0, shot.height() - 1 - height) != Qt::black)
        ++height;
    const QPoint centre(int((tile.col + 0.5) * width / cols), shot.height() - 1 - int((tile.row + 0.5) * height / rows));
    QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, centre);
}

QString pictures(const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (int k = 0; k < 12; ++k) {
        QImage image(64, 64, QImage::Format_RGB32);
        const bool water = k % 2 == 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const int n = (x * 7 + y * 13 + k * 5) % 23;
                image.setPixelColor(x, y, water ? QColor(30 + n, 80 + 40 * ((y / 4) % 2), 200) : QColor(40 + n, 140 + 2 * n, 30));
            }
        image.save(QStringLiteral("%1/%2%3.png").arg(folder, water ? QStringLiteral("water") : QStringLiteral("grass")).arg(k));
    }
    return folder;
}

}  // namespace sampletiles

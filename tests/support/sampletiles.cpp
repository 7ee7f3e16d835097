#include "support/sampletiles.h"

#include "app/viewcontroller.h"
#include "data/ui/paintableimageview.h"

#include <QTest>

namespace sampletiles {

const std::vector<TilePoint>& river()
{
    static const std::vector<TilePoint> tiles = {{0, 0}, {0, 1}, {1, 1}, {1, 2}, {2, 3},
                                                 {2, 4}, {3, 4}, {3, 5}, {4, 6}, {5, 7}};
    return tiles;
}

void click(ViewController* c, TilePoint tile)
{
    const QSizeF fit = c->gridmodel.viewsize.value_or(QSizeF(c->testview->size()));
    const tilegeometry::TileGridPicture picture = tilegeometry::composeTileGrid(c->gridmodel, fit);
    const QRectF r = tilegeometry::toTopLeft(tilegeometry::tileRect(tile, picture.tile), c->testview->height());
    QTest::mouseClick(c->testview, Qt::LeftButton, {}, r.center().toPoint());
}

}  // namespace sampletiles

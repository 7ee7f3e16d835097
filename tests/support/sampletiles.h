#pragma once

#include "data/tilegridstate.h"

#include <QString>
#include <vector>

class QWidget;

// The walkthroughs' data: the shipped sample picture's river and a folder of small pictures.
namespace sampletiles {

// The river of the shipped sample picture on its 8 by 6 grid, row 0 at the bottom.
const std::vector<TilePoint>& river();

// Clicks the middle of `tile` of a `cols` x `rows` grid in the tile grid view, found as a user
// finds it: over the part of the view that is not its black background.
void click(QWidget* grid, TilePoint tile, int cols, int rows);

// Twelve 64-point pictures in a fresh `folder`: water-like stripes named water0, water2, ...
// and grass-like speckle named grass1, grass3, ...; returns the folder's path.
QString pictures(const QString& folder);

}  // namespace sampletiles

#pragma once

#include "data/tilegeometry.h"

#include <vector>

class ViewController;

namespace sampletiles {

// The river of the shipped sample picture on its 8 by 6 grid, row 0 at the bottom.
const std::vector<TilePoint>& river();

// Clicks the middle of `tile` in the controller's grid view, as a user would.
void click(ViewController* c, TilePoint tile);

}  // namespace sampletiles

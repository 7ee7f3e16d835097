#include "util/workareageometry.h"

namespace workarea {

double scaleFactor(double windowWidth, double windowHeight, double paneWidth, double paneHeight)
{
    if (paneWidth <= 0 || paneHeight <= 0)
        return 1.0;
    return paneHeight < paneWidth ? windowWidth / paneWidth : windowHeight / paneHeight;
}

}  // namespace workarea

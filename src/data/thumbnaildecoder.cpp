#include "data/thumbnaildecoder.h"

#include "data/imagefile.h"

namespace thumbnaildecoder {

QImage decode(const QString& path, const QSize& box)
{
    QImage image = imagefile::read(path, box).image;
    if (image.isNull())
        return QImage();
    return std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace thumbnaildecoder

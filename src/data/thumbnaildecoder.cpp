#include "data/thumbnaildecoder.h"

#include "data/imagefile.h"

namespace thumbnaildecoder {

QImage decode(const QString& path, const QSize& box)
{
    QImage image = imagefile::read(path, box).image;
    if (image.isNull())
        return QImage();
    // Readers that cannot tell the size up front decode at full size; still hand back a thumbnail.
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace thumbnaildecoder

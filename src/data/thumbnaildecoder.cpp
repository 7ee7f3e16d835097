#include "data/thumbnaildecoder.h"

#include "data/photolayout.h"

#include <QImageReader>

namespace thumbnaildecoder {

QImage decode(const QString& path, const QSize& box)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    QSize target = photolayout::fittedSize(stored, box);
    // A quarter turn swaps the sides after decoding; fit the turned picture, not the stored one.
    if (target.isValid() && reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
        target = photolayout::fittedSize(stored, box.transposed());
    if (target.isValid())
        reader.setScaledSize(target);
    QImage image = reader.read();
    if (image.isNull())
        return QImage();
    // Readers that cannot tell the size up front decode at full size; still hand back a thumbnail.
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace thumbnaildecoder

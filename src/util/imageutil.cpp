#include "util/imageutil.h"

#include "util/filewrite.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

namespace imageutil {

std::optional<QByteArray> PNGRepresentation(const QImage& image, int compression)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return std::nullopt;
    const QImage rgba = image.format() == QImage::Format_RGBA8888 ? image : image.convertToFormat(QImage::Format_RGBA8888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (compression >= 0)
        writer.setQuality(compression);
    if (!writer.write(rgba))
        return std::nullopt;
    return bytes;
}

std::optional<NSImageExtensionError> savePngTo(const QImage& image, const QString& path, int compression)
{
    const std::optional<QByteArray> png = PNGRepresentation(image, compression);
    if (!png)
        return NSImageExtensionError{NSImageExtensionError::Kind::unwrappingPNGRepresentationFailed,
                                     QStringLiteral("no PNG representation of the image")};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return NSImageExtensionError{NSImageExtensionError::Kind::writeFailed, file.errorString()};
    if (file.write(*png) != png->size()) {
        const QString why = filewrite::shortWriteReason(file);
        file.cancelWriting();
        return NSImageExtensionError{NSImageExtensionError::Kind::writeFailed, why};
    }
    if (!file.commit())
        return NSImageExtensionError{NSImageExtensionError::Kind::writeFailed, file.errorString()};
    return std::nullopt;
}

std::optional<ResizedImage> resized(const QImage& image, const QSizeF& size)
{
    const int w = int(size.width());
    const int h = int(size.height());
    if (w <= 0 || h <= 0 || image.isNull())
        return std::nullopt;
    QImage bitmap(w, h, QImage::Format_RGBA8888);
    if (bitmap.isNull())
        return std::nullopt;
    bitmap.fill(Qt::transparent);
    QPainter painter(&bitmap);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, w, h), image);
    painter.end();
    return ResizedImage{bitmap, size};
}

}  // namespace imageutil

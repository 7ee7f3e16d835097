#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <optional>

namespace imageutil {

struct NSImageExtensionError {
    enum class Kind { unwrappingPNGRepresentationFailed, writeFailed };
    Kind kind;
    QString message;  // the file system's message for writeFailed
};

// PNG bytes of the image as 8-bit RGBA; nullopt when the image has no pixels.
// `compression` is QImageWriter's PNG quality (-1 default; 80-89 is zlib's fastest level).
std::optional<QByteArray> PNGRepresentation(const QImage& image, int compression = -1);

// Writes the PNG atomically (temporary file renamed over the destination). Nothing is left
// behind on failure.
std::optional<NSImageExtensionError> savePngTo(const QImage& image, const QString& path, int compression = -1);

struct ResizedImage {
    QImage bitmap;  // whole pixels: the requested size truncated toward zero
    QSizeF size;    // the requested size in points
};

// The image stretched to fill `size` (aspect ratio not kept), pixels copied, not blended.
std::optional<ResizedImage> resized(const QImage& image, const QSizeF& size);

}  // namespace imageutil

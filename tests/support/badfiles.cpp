#include "support/badfiles.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QtEndian>
#include <zlib.h>

namespace badfiles {
namespace {

QByteArray chunk(const char* type, const QByteArray& data)
{
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    const QByteArray body = QByteArray(type, 4) + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))), crc.data());
    return out + body + crc;
}

// The JPEG with its start-of-frame segment garbled, so no decoder can make a picture of it.
QByteArray corruptJpeg(QByteArray jpeg)
{
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    for (qsizetype k = sof + 4; k < sof + 12 && k < jpeg.size(); ++k)
        jpeg[k] = '\0';
    return jpeg;
}

// A PNG of `width` x `height` as its header claims, with next to no pixel data.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(width, header.data());
    qToBigEndian<quint32>(height, header.data() + 4);
    header[8] = 8;  // bit depth
    header[9] = 2;  // RGB
    const QByteArray pixels = qCompress(QByteArray(64, '\0')).mid(4);  // zlib stream of a few rows
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", pixels) + chunk("IEND", {});
}

}  // namespace

QImage picture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QPainter painter(&image);
    for (int y = 0; y < size.height(); y += 8)
        painter.fillRect(0, y, size.width(), 4, QColor::fromHsv((y * 7) % 360, 200, 220));
    return image;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QList<BadImage> images()
{
    const QImage image = picture(QSize(120, 80));
    const QByteArray png = encoded(image, "PNG");
    const QByteArray jpeg = encoded(image, "JPEG");
    return {
        {"TruncatedPng", "cut.png", png.left(png.size() / 2), "cannot be decoded"},
        {"TruncatedJpeg", "cut.jpg", jpeg.left(jpeg.size() * 3 / 4), "cut short"},
        {"CorruptJpeg", "corrupt.jpg", corruptJpeg(jpeg), "cannot be decoded"},
        {"TextNamedPng", "notes.png", "a,b\nthis is text, not a picture\n", "not an image file"},
        {"HugeClaimedPng", "huge.png", pngClaiming(30000, 30000), "cannot be decoded"},
        {"EmptyFile", "empty.png", QByteArray(), "is empty"},
    };
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace badfiles

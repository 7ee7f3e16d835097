#include "data/imagefile.h"

#include "data/photolayout.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <cstring>

namespace imagefile {
namespace {

constexpr unsigned char kMarker = 0xFF;
constexpr unsigned char kStartOfScan = 0xDA;
constexpr unsigned char kEndOfImage = 0xD9;

bool isJpeg(const QByteArray& bytes) { return bytes.startsWith("\xFF\xD8\xFF"); }

// Markers without a length field: start of image, restarts, TEM.
bool standsAlone(unsigned char code) { return code == 0xD8 || (code >= 0xD0 && code <= 0xD7) || code == 0x01; }

// Past the entropy-coded data that starts at `pos`: the position of the next marker, which is a
// 0xFF not followed by a stuffed zero or a restart code; -1 when the data runs to the end.
qsizetype skipScanData(const QByteArray& bytes, qsizetype pos)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    while (pos < size) {
        const void* found = std::memchr(data + pos, kMarker, size_t(size - pos));
        if (!found)
            return -1;
        pos = static_cast<const unsigned char*>(found) - data;
        if (pos + 1 >= size)
            return -1;
        const unsigned char next = data[pos + 1];
        if (next != 0x00 && next != kMarker && !(next >= 0xD0 && next <= 0xD7))
            return pos;
        pos += next == kMarker ? 1 : 2;  // fill bytes (0xFF 0xFF) may precede a marker
    }
    return -1;
}

// Halves both sides by averaging each 2 x 2 block. `image` is RGB32 or premultiplied ARGB32,
// whose channels may be averaged as they are.
QImage halved(const QImage& image)
{
    QImage out(image.width() / 2, image.height() / 2, image.format());
    for (int y = 0; y < out.height(); ++y) {
        const auto* top = reinterpret_cast<const quint32*>(image.constScanLine(2 * y));
        const auto* bottom = reinterpret_cast<const quint32*>(image.constScanLine(2 * y + 1));
        auto* line = reinterpret_cast<quint32*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const quint32 p[4] = {top[2 * x], top[2 * x + 1], bottom[2 * x], bottom[2 * x + 1]};
            // Two 8-bit channels at a time, in 16-bit lanes that cannot overflow.
            quint32 even = 0x00020002;
            quint32 odd = 0x00020002;
            for (const quint32 v : p) {
                even += v & 0x00ff00ff;
                odd += (v >> 8) & 0x00ff00ff;
            }
            line[x] = ((even >> 2) & 0x00ff00ff) | (((odd >> 2) & 0x00ff00ff) << 8);
        }
    }
    return out;
}

// `image` at exactly `size`: halved while it is at least twice as large, then filtered
// bilinearly, which for what is left (less than half) loses nothing a thumbnail shows.
QImage resampled(QImage image, const QSize& size)
{
    image = std::move(image).convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                     : QImage::Format_RGB32);
    while (image.width() >= 2 * size.width() && image.height() >= 2 * size.height())
        image = halved(image);
    if (image.size() == size)
        return image;
    QImage out(size, image.format());
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), size), image);
    return out;
}

QString refusal(const QString& path, QImageReader& reader)
{
    if (reader.error() == QImageReader::UnsupportedFormatError)
        return QStringLiteral("%1 is not an image file.").arg(path);
    const QString why = reader.errorString();
    return QStringLiteral("%1 cannot be decoded: %2.").arg(path, why);
}

}  // namespace

JpegStream jpegStream(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    if (!isJpeg(bytes))
        return JpegStream::Malformed;
    qsizetype pos = 2;
    while (pos + 1 < size) {
        if (data[pos] != kMarker) {
            // Stray bytes between segments: the decoder skips them to the next marker too.
            const void* found = std::memchr(data + pos, kMarker, size_t(size - pos));
            if (!found)
                return JpegStream::Truncated;
            pos = static_cast<const unsigned char*>(found) - data;
            continue;
        }
        const unsigned char code = data[pos + 1];
        if (code == kMarker) {
            ++pos;  // fill byte
            continue;
        }
        if (code == kEndOfImage)
            return JpegStream::Complete;
        if (standsAlone(code)) {
            pos += 2;
            continue;
        }
        if (pos + 3 >= size)
            return JpegStream::Truncated;
        const qsizetype length = (qsizetype(data[pos + 2]) << 8) | data[pos + 3];
        if (length < 2)
            return JpegStream::Malformed;
        pos += 2 + length;
        if (code == kStartOfScan) {
            pos = skipScanData(bytes, pos);
            if (pos < 0)
                return JpegStream::Truncated;
        }
    }
    return JpegStream::Truncated;
}

Loaded read(const QString& path, const QSize& box, bool upright)
{
    Loaded out;
    const QFileInfo info(path);
    if (!info.exists()) {
        out.error = QStringLiteral("%1 does not exist.").arg(path);
        return out;
    }
    // A pipe or a device would block the reader or never end.
    if (!info.isFile()) {
        out.error = QStringLiteral("%1 is not a regular file.").arg(path);
        return out;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("%1 cannot be read: %2.").arg(path, file.errorString());
        return out;
    }
    QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) {
        out.error = QStringLiteral("%1 is empty.").arg(path);
        return out;
    }
    if (isJpeg(bytes)) {
        const JpegStream stream = jpegStream(bytes);
        if (stream == JpegStream::Truncated) {
            out.error = QStringLiteral("%1 is cut short: the JPEG data ends before the picture does.").arg(path);
            return out;
        }
        if (stream == JpegStream::Malformed) {
            out.error = QStringLiteral("%1 is damaged: its JPEG segments are broken.").arg(path);
            return out;
        }
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(upright);
    // JPEG decodes at a fraction of its size. Other readers would decode whole and then scale
    // with QImage's smooth scaling, which costs more than decoding a small picture: they are
    // fitted here instead.
    if (box.isValid() && isJpeg(bytes)) {
        const QSize stored = reader.size();
        QSize target = photolayout::fittedSize(stored, box);
        // A quarter turn swaps the sides after decoding; fit the turned picture, not the stored one.
        if (upright && target.isValid() && reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
            target = photolayout::fittedSize(stored, box.transposed());
        if (target.isValid())
            reader.setScaledSize(target);
    }
    out.image = reader.read();
    if (out.image.isNull()) {
        out.error = refusal(path, reader);
        return out;
    }
    if (box.isValid()) {
        const QSize fitted = photolayout::fittedSize(out.image.size(), box);
        if (out.image.size() != fitted)
            out.image = resampled(std::move(out.image), fitted);
    }
    return out;
}

}  // namespace imagefile

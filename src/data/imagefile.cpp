#include "data/imagefile.h"

#include "data/photolayout.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
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
    if (box.isValid()) {
        const QSize stored = reader.size();
        QSize target = photolayout::fittedSize(stored, box);
        // A quarter turn swaps the sides after decoding; fit the turned picture, not the stored one.
        if (upright && target.isValid() && reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
            target = photolayout::fittedSize(stored, box.transposed());
        if (target.isValid())
            reader.setScaledSize(target);
    }
    out.image = reader.read();
    if (out.image.isNull())
        out.error = refusal(path, reader);
    return out;
}

}  // namespace imagefile

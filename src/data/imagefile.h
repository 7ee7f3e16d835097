#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Reading the images a user opens, refusing what would otherwise open as a wrong picture.
namespace imagefile {

struct Loaded {
    QImage image;   // null when the file was refused
    QString error;  // why, for the user; empty on success
};

// The picture at `path`, turned as its orientation tag says unless `upright` is false. With a
// valid `box` it comes back fitted to the box, proportions kept (a smaller picture is
// enlarged); a JPEG is decoded at that size and never built whole. Refused: anything but a regular file, an empty file, a file that no
// image reader takes, one that decodes to no pixels, and a JPEG whose data ends before its
// picture does or whose segments are broken (the reader would fill what it cannot decode with
// grey and call it a success).
// Safe to call from any thread.
Loaded read(const QString& path, const QSize& box = QSize(), bool upright = true);

enum class JpegStream { Complete, Truncated, Malformed };

// Whether JPEG bytes hold a whole picture: the segments from the start-of-image marker through
// every scan up to the end-of-image marker. Bytes after that marker (some cameras append data)
// do not matter. Malformed: not JPEG, or a segment length that cannot be.
JpegStream jpegStream(const QByteArray& bytes);

}  // namespace imagefile

#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace thumbnaildecoder {

// The image at `path` decoded at no more than `box`, proportions kept, ready to paint
// (premultiplied ARGB). Asks the reader for the reduced size, so formats that can decode
// smaller (JPEG) never build the full-size picture. A null image when the file cannot be read or is refused
// (see imagefile::read).
// Safe to call from any thread.
QImage decode(const QString& path, const QSize& box);

}  // namespace thumbnaildecoder

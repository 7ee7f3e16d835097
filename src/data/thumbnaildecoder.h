#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace thumbnaildecoder {

// The image at `path` fitted to `box`, proportions kept, ready to paint (premultiplied ARGB).
// A null image when the file cannot be read or is refused (see imagefile::read).
// Safe to call from any thread.
QImage decode(const QString& path, const QSize& box);

}  // namespace thumbnaildecoder

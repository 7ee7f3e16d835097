#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

// PNG encoding tuned for training samples: 8 bits per sample, RGBA for images with an alpha
// channel and RGB for opaque ones (a quarter less to compress; the workers read RGB), zlib's
// fastest level and the "Up" row filter on every row. Qt's writer lets libpng try all five
// filters on each row, which costs about twice as much as the compression itself at this level;
// the workers read each sample once, so speed matters more than a few percent of size.
namespace samplepng {

// nullopt when the image is null or libpng fails.
std::optional<QByteArray> encode(const QImage& image);

}  // namespace samplepng

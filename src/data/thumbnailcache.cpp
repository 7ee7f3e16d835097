#include "data/thumbnailcache.h"

#include <algorithm>

namespace {
// Even an unreadable file's entry costs something, so failures cannot pile up without bound.
constexpr qsizetype kMinimumCost = 1024;
}

ThumbnailCache::ThumbnailCache(qsizetype budgetBytes) : m_images(std::max<qsizetype>(budgetBytes, kMinimumCost)) {}

const QImage* ThumbnailCache::find(const QString& path) const
{
    return m_images.object(path);
}

void ThumbnailCache::insert(const QString& path, const QImage& image)
{
    m_images.insert(path, new QImage(image), std::max<qsizetype>(image.sizeInBytes(), kMinimumCost));
}

#pragma once

#include <QCache>
#include <QImage>
#include <QString>

// Decoded thumbnails by file path, least recently used dropped first once their pixels pass
// the budget. A file that could not be read is remembered as a null image, so it is not tried
// again on every paint.
class ThumbnailCache {
public:
    explicit ThumbnailCache(qsizetype budgetBytes);

    // The thumbnail (null for an unreadable file), or nullptr when none is cached. Marks it
    // as recently used. The pointer is valid until the next insert or clear.
    const QImage* find(const QString& path) const;
    bool contains(const QString& path) const { return m_images.contains(path); }
    void insert(const QString& path, const QImage& image);
    void clear() { m_images.clear(); }

    qsizetype budgetBytes() const { return m_images.maxCost(); }
    qsizetype usedBytes() const { return m_images.totalCost(); }
    qsizetype count() const { return m_images.count(); }

private:
    QCache<QString, QImage> m_images;
};

#include "training/tilecutter.h"

#include "data/imagefile.h"
#include "training/datapreparation.h"
#include "training/samplepng.h"
#include "util/filewrite.h"

#include <QFile>
#include <QPainter>
#include <QtConcurrent/QtConcurrentMap>
#include <numeric>
#include <optional>

namespace tilecutter {
namespace {

using imageutil::NSImageExtensionError;

// Written straight to the target, without imageutil::savePngTo's temporary file and sync: the
// workspace was just emptied of samples, a preparation writes thousands of files that can be
// written again, and the extra rename and sync per file cost more than encoding it. A file that
// fails half-way is removed.
std::optional<NSImageExtensionError> writePng(const QImage& image, const QString& path)
{
    const std::optional<QByteArray> png = samplepng::encode(image);
    if (!png)
        return NSImageExtensionError{NSImageExtensionError::Kind::unwrappingPNGRepresentationFailed,
                                     QStringLiteral("no PNG representation of the image")};
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return NSImageExtensionError{NSImageExtensionError::Kind::writeFailed, file.errorString()};
    if (file.write(*png) != png->size() || !file.flush()) {
        const QString why = filewrite::shortWriteReason(file);
        file.close();
        QFile::remove(path);
        return NSImageExtensionError{NSImageExtensionError::Kind::writeFailed, why};
    }
    return std::nullopt;
}

}  // namespace

QImage trimimage(const QImage& image, const QRect& bottomLeftRect)
{
    if (image.isNull() || bottomLeftRect.isEmpty())
        return QImage();
    const QRect source = datapreparation::toTopLeft(bottomLeftRect, image.height());
    if (image.rect().contains(source))
        return image.copy(source);
    // Partly outside: what is not covered by the image stays transparent.
    QImage out(bottomLeftRect.size(), QImage::Format_RGBA8888);
    if (out.isNull())
        return QImage();
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), image, source);
    return out;
}

std::vector<SaveFailure> saveAll(const QStringList& targets, const std::function<QImage(int)>& produce, std::atomic_int* done)
{
    std::vector<int> jobs(size_t(targets.size()));
    std::iota(jobs.begin(), jobs.end(), 0);
    std::vector<std::optional<imageutil::NSImageExtensionError>> errors(jobs.size());
    // Each job writes only its own slot, so the results need no lock.
    QtConcurrent::blockingMap(jobs, [&](int k) {
        errors[size_t(k)] = writePng(produce(k), targets.at(k));
        if (done)
            ++*done;
    });
    std::vector<SaveFailure> failures;
    for (size_t k = 0; k < errors.size(); ++k) {
        if (errors[k])
            failures.push_back({int(k), targets.at(int(k)), *errors[k]});
    }
    return failures;
}

std::vector<SaveFailure> saveTiles(const QImage& image, const std::vector<QRect>& bottomLeftRects,
                                   const QStringList& targets, std::atomic_int* done)
{
    return saveAll(targets, [&](int k) { return trimimage(image, bottomLeftRects.at(size_t(k))); }, done);
}

std::vector<SaveFailure> saveImages(const QStringList& sources, const QStringList& targets, std::atomic_int* done)
{
    // Each job writes only its own slot.
    std::vector<QString> unreadable(size_t(sources.size()));
    std::vector<SaveFailure> failures = saveAll(targets, [&](int k) {
        imagefile::Loaded loaded = imagefile::read(sources.at(k));
        unreadable[size_t(k)] = loaded.error;
        return trimimage(loaded.image, QRect(QPoint(0, 0), loaded.image.size()));
    }, done);
    // A source that could not be read says so rather than that it could not be encoded.
    for (SaveFailure& f : failures) {
        if (!unreadable[size_t(f.index)].isEmpty())
            f.error.message = unreadable[size_t(f.index)];
    }
    return failures;
}

QString describe(const imageutil::NSImageExtensionError& error)
{
    switch (error.kind) {
    case imageutil::NSImageExtensionError::Kind::unwrappingPNGRepresentationFailed:
        if (error.message.isEmpty())
            return QStringLiteral("unwrappingPNGRepresentationFailed");
        return QStringLiteral("unwrappingPNGRepresentationFailed(") + error.message + QLatin1Char(')');
    case imageutil::NSImageExtensionError::Kind::writeFailed:
        break;
    }
    return QStringLiteral("writeFailed(") + error.message + QLatin1Char(')');
}

}  // namespace tilecutter

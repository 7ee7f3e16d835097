#pragma once

#include "util/imageutil.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <vector>

// Cutting images into sample files. Writing PNGs is compression work, so it runs over the cores
// with the fast sample encoding (8-bit RGBA, zlib's fastest level).
namespace tilecutter {

// The pixels of `bottomLeftRect` (origin at the image's bottom-left corner, y upward) as a new
// image of the rectangle's size, copied, not blended. Parts outside the image stay transparent.
QImage trimimage(const QImage& image, const QRect& bottomLeftRect);

struct SaveFailure {
    int index = 0;  // position in the job list
    QString path;
    imageutil::NSImageExtensionError error;
};

// Saves produce(k) as a PNG at targets[k] for every k, in parallel. A null image fails like an
// unencodable one. Failures come back in job order; the other jobs still run and no partial
// file is left. `done`, when given, counts the finished jobs as they finish.
std::vector<SaveFailure> saveAll(const QStringList& targets, const std::function<QImage(int)>& produce,
                                 std::atomic_int* done = nullptr);

// Every tile of `image` at the given bottom-left rectangles, saved to the matching targets.
std::vector<SaveFailure> saveTiles(const QImage& image, const std::vector<QRect>& bottomLeftRects,
                                   const QStringList& targets, std::atomic_int* done = nullptr);

// Each source image loaded and saved whole as a PNG at the matching target.
std::vector<SaveFailure> saveImages(const QStringList& sources, const QStringList& targets, std::atomic_int* done = nullptr);

// A failure as one line of text, for diagnostics and alerts.
QString describe(const imageutil::NSImageExtensionError& error);

}  // namespace tilecutter

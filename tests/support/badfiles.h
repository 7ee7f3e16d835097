#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

// Damaged and misleading input files, made in memory so each test writes its own.
namespace badfiles {

// A striped test picture as PNG or JPEG ("PNG", "JPEG").
QImage picture(QSize size);
QByteArray encoded(const QImage& image, const char* format);

struct BadImage {
    const char* name;      // the case, for test names
    const char* fileName;  // what the file is called
    QByteArray bytes;
    const char* reason;    // a piece of the explanation the user gets
};

// A truncated PNG and JPEG, a corrupt JPEG, text named .png, a PNG header claiming a huge
// picture, and an empty file: one of each way an image is refused.
QList<BadImage> images();

// Writes `bytes` to `path`; false when that fails.
bool write(const QString& path, const QByteArray& bytes);

}  // namespace badfiles

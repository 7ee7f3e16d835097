#include "training/runfiles.h"

#include <QSaveFile>

namespace runfiles {
namespace {
QString writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}
}  // namespace

QString writeErrorLog(const QString& path, const QString& text)
{
    return writeWhole(path, text.toUtf8());
}

}  // namespace runfiles

#include "training/runfiles.h"

#include <QDir>
#include <QFile>
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

QString stoppedRunLog(const QString& standardError, const QStringList& outputChunks, int lines)
{
    QStringList shown;
    for (const QString& line : outputChunks.join(QString()).split(QLatin1Char('\n'))) {
        const QString last = line.mid(line.lastIndexOf(QLatin1Char('\r')) + 1).trimmed();
        if (!last.isEmpty())
            shown << last;
    }
    QString log = standardError;
    if (!log.isEmpty() && !log.endsWith(QLatin1Char('\n')))
        log += QLatin1Char('\n');
    log += QStringLiteral("Training stopped by the user.\n");
    if (!shown.isEmpty())
        log += QStringLiteral("Last output of the worker:\n") + shown.mid(shown.size() - lines).join(QLatin1Char('\n')) + QLatin1Char('\n');
    return log;
}

QStringList removePartialFiles(const QString& workspace)
{
    QStringList left;
    const QDir dir(workspace);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (name.startsWith(QLatin1Char('.')) && name.contains(QStringLiteral("partial")) && !QFile::remove(dir.filePath(name)))
            left << name;
    }
    return left;
}

}  // namespace runfiles

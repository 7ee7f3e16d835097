#include "data/imageset.h"

#include <QFileInfo>

namespace imageset {

QString baseName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

QString storedName(const QString& path)
{
    QString name = baseName(path);
    for (QChar& c : name) {
        if (c == QLatin1Char(',') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char('_');
    }
    return name;
}

}  // namespace imageset

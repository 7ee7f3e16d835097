#include "data/imageset.h"


namespace imageset {

QString baseName(const QString& path)
{
    // The last path component without building a QFileInfo: opening 100,000 images names each.
    const QStringView name = QStringView(path).mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 ? name.left(dot) : name).toString();
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

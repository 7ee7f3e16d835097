#include "data/dataopening.h"

#include <QDir>
#include <QFileInfo>

namespace dataopening {

QString lowerExtension(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return QString();
    return name.mid(dot + 1).toLower();
}

PickedKind classifyPicked(const QString& path, bool isDirectory)
{
    if (isDirectory)
        return PickedKind::Folder;
    const QString ext = lowerExtension(path);
    if (ext.isEmpty())
        return PickedKind::Folder;
    if (ext == QLatin1String("jpg"))
        return PickedKind::JpgImage;
    if (ext == QLatin1String("jpeg"))
        return PickedKind::JpegImage;
    if (ext == QLatin1String("png"))
        return PickedKind::PngImage;
    if (ext == QLatin1String("csv"))
        return PickedKind::Table;
    return PickedKind::Rejected;
}

QString kindLine(PickedKind kind)
{
    switch (kind) {
    case PickedKind::Folder: return QStringLiteral("folder");
    case PickedKind::JpgImage: return QStringLiteral("jpg image");
    case PickedKind::JpegImage: return QStringLiteral("jpeg image");
    case PickedKind::PngImage: return QStringLiteral("png image");
    case PickedKind::Table: return QStringLiteral("table data");
    case PickedKind::Rejected: break;
    }
    return QStringLiteral("wrong file");
}

bool nameLooksLikeImage(const QString& name)
{
    const QString lower = name.toLower();
    return lower.contains(QLatin1String(".jpg")) || lower.contains(QLatin1String(".png"))
        || lower.contains(QLatin1String("jpeg"));
}

bool isAcceptedImage(const QString& path)
{
    const QString ext = lowerExtension(path);
    return ext == QLatin1String("jpg") || ext == QLatin1String("jpeg") || ext == QLatin1String("png");
}

FolderScan scanFolder(const QString& folder)
{
    FolderScan scan;
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return scan;
    const QDir dir(folder);
    scan.listed = true;
    scan.entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : scan.entries) {
        if (!nameLooksLikeImage(name))
            continue;
        scan.retained.append(name);
        const QString path = dir.absoluteFilePath(name);
        if (isAcceptedImage(path) && !QFileInfo(path).isDir())
            scan.accepted.append(path);
    }
    return scan;
}

}  // namespace dataopening

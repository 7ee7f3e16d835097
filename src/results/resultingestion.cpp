#include "results/resultingestion.h"

#include "results/predictions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace resultingestion {

Target targetFor(int inputdatatype)
{
    switch (inputdatatype) {
    case 1: return Target::Tiles;
    case 2: return Target::Images;
    default: return Target::None;
    }
}

QString predictionFileName(Target target, const QString& root)
{
    switch (target) {
    case Target::Tiles: return root + QStringLiteral("_outputlabel.csv");
    case Target::Images: return QStringLiteral("folderimage_outputlabel.csv");
    case Target::None: break;
    }
    return QString();
}

Reading readPredictions(const QString& workspace, Target target, const QString& root)
{
    Reading out;
    const QString name = predictionFileName(target, root);
    if (name.isEmpty() || workspace.isEmpty())
        return out;
    QFile file(QDir(workspace).filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return out;
    const QString text = QString::fromUtf8(file.readAll());
    out.readable = true;
    if (target == Target::Tiles)
        out.tiles = predictions::tilePredictions(text);
    else
        out.images = predictions::imagePredictions(text);
    return out;
}

Scan scanForModel(const QString& workspace)
{
    Scan out;
    const QFileInfo info(workspace);
    if (workspace.isEmpty() || !info.isDir() || !info.isReadable()) {
        out.error = QStringLiteral("The folder “%1” couldn’t be listed.").arg(workspace);
        return out;
    }
    const QStringList names = QDir(workspace).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (name.contains(QStringLiteral("my_model")))
            out.modelEntries.append(name);
    }
    return out;
}

}  // namespace resultingestion

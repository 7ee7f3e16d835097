#include "worker/workercommands.h"

#include "worker/paths.h"

#include <QFileInfo>

namespace workercommands {

Command loadModel(const QString& modelPath, const QString& outputJson, const QString& mode)
{
    return {paths::pythonInterpreter(), {paths::scriptPath(QStringLiteral("loadmodel.py")), modelPath, outputJson, mode}};
}

Command inspectWeights(const QString& weightsPath)
{
    return {paths::pythonInterpreter(), {paths::scriptPath(QStringLiteral("loadmodel.py")), QStringLiteral("--info"), weightsPath}};
}

Command generateModel(const QString& modelJson)
{
    return {paths::pythonInterpreter(), {paths::scriptPath(QStringLiteral("generateml.py")), modelJson}};
}

Command pythonVersion()
{
    return {paths::pythonInterpreter(), {QStringLiteral("-V")}};
}

Command pipList()
{
    return {paths::pythonInterpreter(), {QStringLiteral("-m"), QStringLiteral("pip"), QStringLiteral("list")}};
}

std::optional<QString> modelMode(const QString& path, bool isDirectory)
{
    // A SavedModel folder is a folder whatever its name.
    if (isDirectory)
        return QStringLiteral("2");
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot > 0 ? name.mid(dot + 1).toLower() : QString();
    if (ext == QLatin1String("keras"))
        return QStringLiteral("0");
    if (ext == QLatin1String("h5"))
        return QStringLiteral("1");
    if (ext.isEmpty())
        return QStringLiteral("2");
    return std::nullopt;
}

}  // namespace workercommands

namespace envcheck {

QStringList requiredPackages()
{
    return {QStringLiteral("torch"), QStringLiteral("numpy"), QStringLiteral("Pillow"), QStringLiteral("matplotlib"),
            QStringLiteral("h5py")};
}

QStringList missingPackages(const QString& pipListOutput)
{
    QStringList missing;
    for (const QString& name : requiredPackages()) {
        if (!pipListOutput.contains(name, Qt::CaseSensitive))
            missing.append(name);
    }
    return missing;
}

QString missingPackagesMessage()
{
    return QStringLiteral("Need to install python packages, please download installpkg from ")
           + QStringLiteral("the Kolvara README (its set-up step is scripts/setup.sh, run by `make run`)")
           + QStringLiteral("\n and run installpkg.");
}

}  // namespace envcheck

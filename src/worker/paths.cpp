#include "worker/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace paths {

QString resourceFolder()
{
    if (QCoreApplication::instance()) {
        const QString beside = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kolvara"));
        if (QFileInfo(beside).isDir())
            return beside;
    }
    return QStringLiteral(KOLVARA_BUILD_SHARE_DIR);
}

QString resourcePath(const QString& name, const QString& type)
{
    const QString path = resourceFolder() + QLatin1Char('/') + name + QLatin1Char('.') + type;
    return QFileInfo(path).isFile() ? path : QString();
}

QString scriptPath(const QString& script)
{
    return resourceFolder() + QLatin1Char('/') + script;
}

QString cachesFolder()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath() + QStringLiteral("/kolvara-cache");
    QDir().mkpath(dir);
    return dir;
}

QString cachesFile(const QString& name)
{
    return cachesFolder() + QLatin1Char('/') + name;
}

QString workspaceFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (base.isEmpty())
        base = QDir::tempPath() + QStringLiteral("/kolvara-data");
    const QString dir = base + QStringLiteral("/workspace");
    QDir().mkpath(dir);
    return dir;
}

QString pythonInterpreter()
{
    const QString configured = qEnvironmentVariable("KOLVARA_PYTHON");
    return configured.isEmpty() ? QStringLiteral("/usr/bin/python3") : configured;
}

}  // namespace paths

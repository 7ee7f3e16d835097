#include "support/testenv.h"

#include "util/diagnostics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace testenv {
namespace {
QTemporaryDir& root()
{
    static QTemporaryDir dir;
    return dir;
}
}  // namespace

void isolate()
{
    const QString base = root().path();
    qputenv("XDG_CACHE_HOME", (base + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_DATA_HOME", (base + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (base + QStringLiteral("/config")).toUtf8());
    // ImageNet weights: an empty Keras cache, and no download ever leaves this machine (a run
    // that tries one meets a proxy where nothing listens); the local test servers stay direct.
    qputenv("KERAS_HOME", (base + QStringLiteral("/keras")).toUtf8());
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qputenv(name, "http://127.0.0.1:9");
    qputenv("no_proxy", "127.0.0.1,localhost");
    qputenv("NO_PROXY", "127.0.0.1,localhost");
    if (qEnvironmentVariableIsEmpty("KOLVARA_TEST_VERBOSE"))
        diag::setEnabled(false);
}

QString sharedTestData(const QString& relative)
{
    const QString dir = QDir::cleanPath(QStringLiteral(KOLVARA_SHARED_DIR) + QStringLiteral("/testdata"));
    if (!QFileInfo(dir).isDir())
        return QString();
    return relative.isEmpty() ? dir : dir + QLatin1Char('/') + relative;
}

QString scratchFolder()
{
    const QString dir = root().path() + QStringLiteral("/scratch");
    QDir().mkpath(dir);
    return dir;
}

QString freshFolder(const QString& name)
{
    const QString dir = scratchFolder() + QLatin1Char('/') + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

void emptyFolder(const QString& path)
{
    for (const QFileInfo& e : QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        e.isDir() && !e.isSymLink() ? QDir(e.filePath()).removeRecursively() : QFile::remove(e.filePath());
}

QStringList entries(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString savePicture(const QString& path, QSize size, const QColor& colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    EXPECT_TRUE(image.save(path)) << path.toStdString();
    return path;
}

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value) : m_name(name)
{
    if (qEnvironmentVariableIsSet(name))
        m_old = qgetenv(name);
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv() { m_old ? qputenv(m_name, *m_old) : qunsetenv(m_name); }

}  // namespace testenv

#include "support/testenv.h"

#include "util/diagnostics.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

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

}  // namespace testenv

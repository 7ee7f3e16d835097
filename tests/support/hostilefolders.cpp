#include "support/hostilefolders.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <unistd.h>

namespace hostile {
namespace {

// Runs a mount tool; an empty text on success, else what went wrong.
QString runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return QString();
    process.kill();
    const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return program + QStringLiteral(": ") + (said.isEmpty() ? process.errorString() : said);
}

}  // namespace

QString folderUnderAFile(const QString& base)
{
    const QString file = base + QStringLiteral("/a-file-not-a-folder");
    QFile f(file);
    if (f.open(QIODevice::WriteOnly))
        f.write("plain text");
    return file + QStringLiteral("/folder");
}

TmpfsMount::TmpfsMount(const QString& mountPoint, const QString& options) : m_point(mountPoint)
{
    QDir().mkpath(mountPoint);
    if (::geteuid() != 0) {
        m_whyNot = QStringLiteral("mounting a tmpfs needs root");
        return;
    }
    m_whyNot = runTool(QStringLiteral("mount"),
                       {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                        QStringLiteral("kolvara-test"), mountPoint});
    m_mounted = m_whyNot.isEmpty();
}

TmpfsMount::~TmpfsMount()
{
    // Lazily, so that a file a failed test left open cannot keep the mount behind.
    if (m_mounted)
        runTool(QStringLiteral("umount"), {QStringLiteral("-l"), m_point});
}

}  // namespace hostile

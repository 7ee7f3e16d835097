#include "training/checkpoints.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace checkpoints {

bool isCheckpointName(const QString& name)
{
    return name.contains(QStringLiteral(".hdf5"));
}

Listing list(const QString& folder)
{
    Listing out;
    // Names only, without a status call per entry: the workspace may hold thousands of tiles
    // and is listed after every piece of worker output.
    DIR* dir = folder.isEmpty() ? nullptr : opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        out.error = QStringLiteral("The folder “%1” couldn’t be listed: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return out;
    }
    while (const dirent* entry = readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (isCheckpointName(name))
            out.names.append(name);
    }
    closedir(dir);
    // Plain code-unit order, as names compare as text: epochs are zero-padded so this is epoch order.
    std::sort(out.names.begin(), out.names.end());
    return out;
}

const Listing& Watch::poll(qint64 nowMs)
{
    // Changes within this window of the folder's last change are not told apart by its time.
    constexpr qint64 kSettleMs = 2000;
    const QFileInfo info(m_folder);
    const qint64 modified = info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
    const bool settled = m_listedAt && *m_listedAt == modified && modified >= 0 && nowMs - modified > kSettleMs;
    if (!settled || !m_last.error.isEmpty()) {
        m_last = list(m_folder);
        m_listedAt = modified;
    }
    return m_last;
}

Series series(const QStringList& sortedNames)
{
    Series out;
    int position = 0;
    for (const QString& name : sortedNames) {
        ++position;
        const QStringList parts = name.split(QLatin1Char('-'), Qt::SkipEmptyParts);
        if (parts.size() < 3)
            continue;
        out.validation.append(parts.at(1));
        out.training.append(parts.at(2));
        out.epochs.push_back(position);
    }
    return out;
}

}  // namespace checkpoints

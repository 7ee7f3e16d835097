#include "training/checkpoints.h"

#include <QDir>
#include <QFileInfo>

namespace checkpoints {

bool isCheckpointName(const QString& name)
{
    return name.contains(QStringLiteral(".hdf5"));
}

Listing list(const QString& folder)
{
    Listing out;
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir()) {
        out.error = QStringLiteral("The folder “%1” doesn’t exist.").arg(folder);
        return out;
    }
    QDir dir(folder);
    if (!info.isReadable()) {
        out.error = QStringLiteral("You don’t have permission to view the folder “%1”.").arg(folder);
        return out;
    }
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString& name : entries) {
        if (isCheckpointName(name))
            out.names.append(name);
    }
    // Plain code-unit order, as names compare as text: epochs are zero-padded so this is epoch order.
    std::sort(out.names.begin(), out.names.end());
    return out;
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

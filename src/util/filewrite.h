#pragma once

#include <QFileDevice>
#include <QString>

namespace filewrite {

// Why a write to `file` came up short. A full disk takes part of a large write without
// setting an error, so the device's own text would then say "Unknown error".
inline QString shortWriteReason(const QFileDevice& file)
{
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return QStringLiteral("only part of the data was written (the disk may be full)");
}

}  // namespace filewrite

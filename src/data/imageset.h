#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The images of a multi-image input with their labels and predictions. The controller owns it;
// the thumbnail browser shows it, the preparation writes it out, result ingestion fills it.
struct ImageSet {
    QStringList urlarray;                 // image paths, in display order
    QHash<QString, QString> data;         // label by stored name (base name)
    QHash<QString, QString> predictpoint; // prediction by stored name + ".png"
    bool haspredict = false;
};

namespace imageset {

// The file's last path component without its extension ("cat01.jpeg" gives "cat01").
QString baseName(const QString& path);

// The name an image is stored and keyed under: its base name with commas and line breaks
// replaced by "_", so the unquoted label CSV stays well-formed.
QString storedName(const QString& path);

}  // namespace imageset

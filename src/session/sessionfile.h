#pragma once

#include "data/tilegridstate.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

// The session file: what the user labelled and edited, kept so that a closed or crashed window
// loses nothing. Its format is described in docs/session-file.md.
namespace session {

struct Input {
    QString path;
    QDateTime modified;  // invalid when it was not known
};

struct TileGridPart {
    QString image;
    int columns = 0;
    int rows = 0;
    bool drawn = false;
    bool reversed = false;
    std::vector<TilePoint> marks;
    bool operator==(const TileGridPart& o) const;
};

struct ImageSetPart {
    QStringList pictures;
    QHash<QString, QString> labels;  // by stored name
    bool operator==(const ImageSetPart& o) const { return pictures == o.pictures && labels == o.labels; }
};

struct ArchitecturePart {
    bool customized = false;
    nlohmann::ordered_json document;
    bool operator==(const ArchitecturePart& o) const { return customized == o.customized && document == o.document; }
};

struct Session {
    QDateTime savedAt;
    std::vector<Input> inputs;  // every file the parts below name
    std::optional<TileGridPart> tileGrid;
    std::optional<ImageSetPart> imageSet;
    std::optional<ArchitecturePart> architecture;
};

// Beside the workspace folder, which preparing training data empties.
QString defaultPath();

QByteArray toJson(const Session& session);

struct Reading {
    std::optional<Session> session;
    QString error;  // why the file was refused; empty when there is none or it was read
};
// Everything is checked: a file that is not wholly sound is refused, never half restored.
Reading fromJson(const QByteArray& bytes);
Reading read(const QString& path);

// Written to a temporary file and renamed over the old one, so a crash at any moment leaves the
// old file or the new one. Empty on success, else why.
QString write(const QString& path, const Session& session);

struct InputCheck {
    QStringList missing;
    QStringList changed;  // modified since the session was saved
    // Restoring is offered only while every input is there.
    bool restorable() const { return missing.isEmpty(); }
};
InputCheck checkInputs(const Session& session);

}  // namespace session

#pragma once

#include "session/sessionfile.h"

class ArchitectureDocument;
class ImageSetDocument;
class TileGridDocument;

// Between the documents and the session file. Any document may be absent.
namespace session {

// What the documents hold now. `modified` keeps each input's modification time from the first
// capture that named it, so later captures need not look at every file again.
Session capture(const TileGridDocument* grid, const ImageSetDocument* pictures, const ArchitectureDocument* architecture,
                QHash<QString, QDateTime>& modified);

// Puts a saved session back into the documents. Empty on success, else what could not be
// restored (an image that no longer opens); the other parts are restored all the same.
QString restore(const Session& session, TileGridDocument* grid, ImageSetDocument* pictures,
                ArchitectureDocument* architecture);

}  // namespace session

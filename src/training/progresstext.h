#pragma once

#include <QString>
#include <optional>

// The two-line state text shown while a training run is followed: the epoch in progress and the
// worker's own progress-bar text (Keras-style, redrawn with carriage returns).
namespace progresstext {

// The progress text of the last redraw in `chunk`: from just after the last carriage return up
// to the blank that follows the ETA, bar dots turned into "_". nullopt when the chunk holds no
// usable range (no "s" after the last carriage return, nothing after it, an "s" as the last
// character, or a range cut back before its start).
std::optional<QString> progressText(const QString& chunk);

// The epoch the worker is in: the number of validation values (the leading start value
// included), less one once that exceeds the run's epoch count.
int epochInProgress(int validationCount, int epochCount);

// The progress text of a chunk that mentions an ETA; nullopt for any other chunk.
std::optional<QString> chunkProgress(const QString& chunk);

// "Training state in epoch N \n" followed by the progress text, when there is one.
QString stateText(int validationCount, int epochCount, const std::optional<QString>& progress);

}  // namespace progresstext

#pragma once

#include "data/photo.h"

#include <QString>

// The framing rules of a thumbnail, event by event. A thumbnail is "wrong" when it was filled
// with predictions and its label text differs from its prediction text (case-sensitive).
namespace photoborder {

enum class PhotoEvent {
    ViewDidLoad,       // the thumbnail's view was made
    SelectionChanged,  // the thumbnail was selected or deselected
    HighlightChanged,  // a mouse press or release on the thumbnail
    AddBorder,         // the thumbnail was filled while predictions exist
};

// Mouse highlight of a thumbnail; ForSelection while a press is about to select it.
enum class Highlight { None = 0, ForSelection = 1, ForDeselection = 2, AsDropTarget = 3 };

struct PhotoState {
    bool hasprediction = false;
    QString label;
    QString prediction;
    bool selected = false;
    Highlight highlight = Highlight::None;
};

bool isWrong(const PhotoState& state);

// The frame after `event`; events that leave the frame alone return `current`.
PhotoBorder borderAfter(PhotoEvent event, const PhotoState& state, const PhotoBorder& current);

PhotoBorder selectedBorder();
PhotoBorder wrongBorder();

}  // namespace photoborder

#include "data/photoborder.h"

namespace photoborder {
namespace {
// A thumbnail that stops being selected or highlighted shows whether its prediction is wrong.
PhotoBorder unselectedBorder(const PhotoState& state)
{
    return isWrong(state) ? wrongBorder() : PhotoBorder{};
}
}  // namespace

PhotoBorder selectedBorder() { return {BorderTint::Blue, Photo::selectedBoarderThickness}; }
PhotoBorder wrongBorder() { return {BorderTint::Red, Photo::diffresBorderThickness}; }

bool isWrong(const PhotoState& state)
{
    return state.hasprediction && state.label != state.prediction;
}

PhotoBorder borderAfter(PhotoEvent event, const PhotoState& state, const PhotoBorder& current)
{
    switch (event) {
    case PhotoEvent::ViewDidLoad:
    case PhotoEvent::AddBorder:
        return isWrong(state) ? wrongBorder() : current;
    case PhotoEvent::SelectionChanged:
        return state.selected ? selectedBorder() : unselectedBorder(state);
    case PhotoEvent::HighlightChanged:
        if (state.highlight == Highlight::ForSelection)
            return selectedBorder();
        return state.selected ? current : unselectedBorder(state);
    }
    return current;
}

}  // namespace photoborder

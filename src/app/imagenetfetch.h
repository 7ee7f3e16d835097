#pragma once

#include "model/imagenetweights.h"

#include <QString>

class Prompter;
class WorkerRunner;

// The ImageNet weight file a run starts from: taken from the Keras cache, else downloaded into
// it; when neither works the user chooses between random weights and not starting.
namespace imagenetfetch {

enum class Outcome { Found, RandomWeights, Cancelled };

struct Result {
    Outcome outcome = Outcome::Cancelled;
    QString path;  // the weight file when found
};

// The backbone-only file when `notop`, else the one with the ImageNet top.
Result fetch(Prompter& prompter, WorkerRunner& runner, const imagenetweights::Architecture& architecture, bool notop);

}  // namespace imagenetfetch

#pragma once

#include <QString>
#include <vector>

// The ways the training worker turns pixels into the network's input (its argument 18).
namespace inputscaling {

struct Choice {
    QString mode;   // as the worker spells it
    QString title;  // as the strategy form shows it
};

// In the order the form lists them; the first is the default.
const std::vector<Choice>& choices();
bool isMode(const QString& mode);

}  // namespace inputscaling

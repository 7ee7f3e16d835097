#pragma once

#include <QStringList>

// The fixed vocabulary of model building: what the user may add, which pre-trained
// architectures are offered, and the value lists of the layer configuration form.
// Every list is built once and never changes.
namespace catalogue {

// Layer classes offered by "Add node class:"; the input layer class is deliberately absent,
// a model's input only ever comes from a loaded architecture.
const QStringList& nodeclasses();

// Pre-trained architectures; the lower-cased entry is the base name of its resource file.
const QStringList& mlmodels();

const QStringList& activationChoices();
const QStringList& paddingChoices();
// Booleans are shown and entered as one of these two words.
const QStringList& booleanChoices();

}  // namespace catalogue

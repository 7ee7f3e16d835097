#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// How a saved model wants to be applied, as the model loader reports it on its standard output
// (one line "Model info: " followed by a JSON object).
struct ModelInfo {
    QString inputScaling;         // a worker scaling mode; empty when the model says nothing
    bool scalingFromNetwork = false;  // the network scales its own input (so it is fed "raw")
    QStringList classNames;       // output order recorded with the model; empty when none
};

namespace modelinfo {

// The last report in a loader's output; nullopt when there is none or it is malformed. A mode
// the workers do not know is dropped rather than passed on.
std::optional<ModelInfo> parse(const QByteArray& standardOutput);

}  // namespace modelinfo

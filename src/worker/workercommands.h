#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Command lines of the model workers and the interpreter checks: the configured interpreter
// with the script path as first argument, never through a shell.
namespace workercommands {

struct Command {
    QString program;
    QStringList arguments;
};

Command loadModel(const QString& modelPath, const QString& outputJson, const QString& mode);
// Reports how a weights file (or the newest one in a folder) wants to be applied.
Command inspectWeights(const QString& weightsPath);
Command generateModel(const QString& modelJson);
Command pythonVersion();
Command pipList();

// The conversion mode for a chosen saved model: "0" for .keras, "1" for .h5, "2" for a folder
// or a name without extension; nullopt for anything else. The extension is compared lower-cased.
std::optional<QString> modelMode(const QString& path, bool isDirectory);

}  // namespace workercommands

namespace envcheck {

// The distributions our workers import, as `pip list` names them.
QStringList requiredPackages();

// Required names that occur nowhere in the `pip list` text (plain, case-sensitive substring).
QStringList missingPackages(const QString& pipListOutput);

// The package alert's text, naming where the set-up instructions are.
QString missingPackagesMessage();

}  // namespace envcheck

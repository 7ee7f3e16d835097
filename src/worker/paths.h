#pragma once

#include <QString>

// Where Kolvara finds its resources and workers and keeps its files.
namespace paths {

// The folder holding the architecture JSON files, illustration pictures and the worker scripts:
// <executable>/../share/kolvara when it exists (installed or build tree), else the build tree's.
QString resourceFolder();

// <resource folder>/<name>.<type> when that file exists, else an empty text.
QString resourcePath(const QString& name, const QString& type);

// <resource folder>/<script>, e.g. "trainNN.py".
QString scriptPath(const QString& script);

// The user's caches folder for Kolvara (created on demand).
QString cachesFolder();
QString cachesFile(const QString& name);

// The folder that belongs to Kolvara alone, where training data is prepared (created on demand).
QString workspaceFolder();

// KOLVARA_PYTHON when set and not empty, else /usr/bin/python3.
QString pythonInterpreter();

}  // namespace paths

#pragma once

#include "worker/workerresult.h"

#include <QStringList>

// Runs a worker and waits for it. The window keeps painting meanwhile and the user may cancel.
class WorkerRunner {
public:
    virtual ~WorkerRunner() = default;
    virtual WorkerResult run(const QString& program, const QStringList& arguments, const QString& waitingText) = 0;
};

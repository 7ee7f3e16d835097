#pragma once

#include <QByteArray>
#include <QString>

// What a finished (or failed to start, or cancelled) worker process left behind.
struct WorkerResult {
    bool started = false;    // false: the program could not be started (see errorText)
    bool cancelled = false;  // the user ended it
    bool crashed = false;    // ended by a signal
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
    QString errorText;  // why it could not start

    bool succeeded() const { return started && !cancelled && !crashed && exitCode == 0; }
};

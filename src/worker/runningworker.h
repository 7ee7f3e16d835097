#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

// A worker that runs beside the window: nothing waits for it; what it prints and its end arrive
// as signals on the thread that started it.
class RunningWorker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Connect first: a start that fails may say so at once.
    virtual void start() = 0;
    virtual bool running() const = 0;
    // Ends the worker now and returns once it is gone, `finished` emitted, or after a few seconds
    // when it cannot be reaped.
    virtual void stop() = 0;

Q_SIGNALS:
    void started();
    void failedToStart(const QString& why);
    void standardOutput(const QByteArray& bytes);
    void standardError(const QByteArray& bytes);
    // Everything it printed was announced before this.
    void finished(int exitCode, bool crashed);
};

// Makes the workers of monitored runs. The window's makes processes; tests make fakes they drive.
class MonitoredRunner {
public:
    virtual ~MonitoredRunner() = default;
    // A worker for `program` with `arguments`, not yet started.
    virtual std::unique_ptr<RunningWorker> worker(const QString& program, const QStringList& arguments) = 0;
};

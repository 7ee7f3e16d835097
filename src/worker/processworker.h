#pragma once

#include "worker/runningworker.h"

class QProcess;

// A worker process followed through QProcess's signals, never waited for except when stopped.
class ProcessWorker : public RunningWorker {
    Q_OBJECT
public:
    ProcessWorker(const QString& program, const QStringList& arguments, QObject* parent = nullptr);
    // Follows `process`, which it takes over, for a caller that starts it itself.
    explicit ProcessWorker(QProcess* process, QObject* parent = nullptr);
    // Ends a worker still running.
    ~ProcessWorker() override;

    void start() override;
    bool running() const override;
    void stop() override;
    QProcess* process() const { return m_process; }

private:
    void follow();
    void drain();

    QProcess* m_process;
    QString m_program;
    QStringList m_arguments;
};

class ProcessRunner : public MonitoredRunner {
public:
    std::unique_ptr<RunningWorker> worker(const QString& program, const QStringList& arguments) override;
};

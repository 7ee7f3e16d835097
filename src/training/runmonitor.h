#pragma once

#include "results/chartstate.h"
#include "training/checkpoints.h"
#include "training/runoutcome.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QStringDecoder>
#include <QStringList>
#include <optional>

class RunningWorker;

// Follows a running training worker as its output arrives: each piece of standard output
// triggers a scan of the workspace for per-epoch checkpoints (feeding the chart lists) and a new
// state text with the worker's progress bar. Once every epoch was counted it waits for the
// worker to exit, writes the error log and reports the training finished; a worker that exits
// before that is reported as ended early. A worker that announces an early stop has every epoch
// counted at the one it stopped after. Runs on the main thread, driven by the process's
// signals; shows nothing itself.
class RunMonitor : public QObject {
    Q_OBJECT
public:
    struct Run {
        int epochCount = 0;
        QString workspace;
        QString root;  // names the error log "<root>_error.log"
    };

    // Follows `worker`, which it takes over; connect before the worker is started.
    RunMonitor(RunningWorker* worker, const Run& run, QObject* parent = nullptr);
    // The same for a process that the caller starts.
    RunMonitor(QProcess* process, const Run& run, QObject* parent = nullptr);
    // Ends a worker that is still running.
    ~RunMonitor() override;

    // Ends the worker at the user's request: the error log is written and the state reads
    // "Training stopped."; neither endedEarly nor trainingFinished follows.
    void stop();

    // The process followed, when the monitor was given one.
    QProcess* process() const;
    // Until the run was reported ended early or finished.
    bool following() const { return !m_over; }
    int epochsSeen() const { return m_epochsSeen; }
    // The epochs the run trains: the epoch count, or the epoch the worker stopped early after.
    int epochsToCount() const { return m_epochsToCount; }
    // The worker's line naming the epoch it kept as the trained model; empty when it wrote none.
    const QString& keptEpoch() const { return m_outcome.keptEpoch(); }
    const QStringList& outputChunks() const { return m_chunks; }
    QString standardErrorText() const { return QString::fromUtf8(m_standardError); }
    QString errorLogPath() const;

Q_SIGNALS:
    void chartUpdated(const ChartPoints& points);
    void stateChanged(const QString& text);
    // The worker is gone before every epoch was counted; the error log holds its standard error.
    void endedEarly(const QString& standardError);
    // Every epoch was counted and the worker has exited; the error log is written.
    void trainingFinished(const QString& standardError);

private:
    void onStandardOutput(const QByteArray& bytes);
    void onStandardError(const QByteArray& bytes);
    void onFinished();
    // One checkpoint scan: new chart lists when more checkpoints exist than epochs seen.
    std::optional<ChartPoints> scan();
    void stateStep(const QString& chunk, const std::optional<ChartPoints>& prepared);
    void readOutcome(const QString& chunk);
    // The state's second line once the worker stopped early.
    std::optional<QString> earlyStopNote() const;
    void endRun(bool early);

    RunningWorker* m_worker;
    Run m_run;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QStringList m_chunks;
    QByteArray m_standardError;
    checkpoints::Watch m_workspace;
    checkpoints::Series m_series;
    RunOutcome m_outcome;
    int m_epochsSeen = 0;
    int m_epochsToCount = 0;
    bool m_loopEnded = false;  // every epoch counted: only the worker's exit is awaited
    bool m_over = false;
    bool m_stopped = false;
};

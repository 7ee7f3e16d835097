#include "training/runmonitor.h"

#include "results/chartgeometry.h"
#include "training/progresstext.h"
#include "training/runfiles.h"
#include "util/diagnostics.h"
#include "worker/processworker.h"

#include <QDateTime>
#include <QDir>

#include <algorithm>

RunMonitor::RunMonitor(RunningWorker* worker, const Run& run, QObject* parent)
    : QObject(parent), m_worker(worker), m_run(run), m_workspace(run.workspace), m_epochsToCount(run.epochCount)
{
    m_worker->setParent(this);
    connect(m_worker, &RunningWorker::standardOutput, this, &RunMonitor::onStandardOutput);
    connect(m_worker, &RunningWorker::standardError, this, &RunMonitor::onStandardError);
    connect(m_worker, &RunningWorker::finished, this, &RunMonitor::onFinished);
}

RunMonitor::RunMonitor(QProcess* process, const Run& run, QObject* parent)
    : RunMonitor(new ProcessWorker(process), run, parent)
{
}

RunMonitor::~RunMonitor()
{
    disconnect(m_worker, nullptr, this, nullptr);
    if (m_worker->running())
        m_worker->stop();
}

QProcess* RunMonitor::process() const
{
    const auto* worker = qobject_cast<const ProcessWorker*>(m_worker);
    return worker ? worker->process() : nullptr;
}

void RunMonitor::stop()
{
    if (m_over)
        return;
    m_stopped = true;
    m_worker->stop();
    if (!m_over)
        endRun(true);  // not reaped in time: the run is over for the user all the same
}

QString RunMonitor::errorLogPath() const
{
    return QDir(m_run.workspace).filePath(m_run.root + QStringLiteral("_error.log"));
}

void RunMonitor::onStandardOutput(const QByteArray& bytes)
{
    if (m_over)
        return;
    const QString chunk = m_decoder.decode(bytes);
    readOutcome(chunk);
    if (m_loopEnded)
        return;  // the worker's closing lines are not shown once every epoch was counted
    m_chunks.append(chunk);
    if (diag::enabled())  // the chunk is copied into the line
        diag::print("nnpoutputs", int(m_chunks.size()), chunk);
    const std::optional<ChartPoints> prepared = scan();
    stateStep(chunk, prepared);
}

void RunMonitor::onStandardError(const QByteArray& bytes) { m_standardError += bytes; }

void RunMonitor::readOutcome(const QString& chunk)
{
    m_outcome.feed(chunk);
    const std::optional<int> stop = m_outcome.earlyStopEpoch();
    // An announcement past the last epoch, or before epochs already counted, changes nothing.
    if (stop && *stop < m_epochsToCount && *stop >= std::max(m_epochsSeen, 1))
        m_epochsToCount = *stop;
}

std::optional<QString> RunMonitor::earlyStopNote() const
{
    if (m_epochsToCount >= m_run.epochCount)
        return std::nullopt;
    return QStringLiteral("Stopped early at epoch %1 of %2").arg(m_epochsToCount).arg(m_run.epochCount);
}

std::optional<ChartPoints> RunMonitor::scan()
{
    const checkpoints::Listing& listing = m_workspace.poll(QDateTime::currentMSecsSinceEpoch());
    if (!listing.error.isEmpty()) {
        diag::print(listing.error);
        return std::nullopt;
    }
    if (m_epochsSeen >= int(listing.names.size()))
        return std::nullopt;
    m_series = checkpoints::series(listing.names);
    diag::print("Val", m_series.validation);
    diag::print("Tra", m_series.training);
    ++m_epochsSeen;
    ChartPoints points;
    chartgeometry::pointsFromTexts(m_series.validation, m_series.epochs, points.valid_x, points.valid_y);
    chartgeometry::pointsFromTexts(m_series.training, m_series.epochs, points.train_x, points.train_y);
    return points;
}

void RunMonitor::stateStep(const QString& chunk, const std::optional<ChartPoints>& prepared)
{
    std::optional<QString> progress = progresstext::chunkProgress(chunk);
    const std::optional<QString> note = earlyStopNote();
    // The stop may come in the same chunk as the last epoch's redraws; the stop is what stays.
    if (!progress || (note && m_epochsSeen >= m_epochsToCount))
        progress = note;
    const QString state = progresstext::stateText(int(m_series.validation.size()), m_epochsToCount, progress);
    if (progress) {
        diag::print("progress", *progress);
        diag::print("progress count", int(progress->size()));
        diag::print("trainnote", state);
        diag::print("trainnote count", int(state.size()));
    }
    if (prepared)
        Q_EMIT chartUpdated(*prepared);
    Q_EMIT stateChanged(state);
    if (m_epochsSeen >= m_epochsToCount)
        m_loopEnded = true;
}

void RunMonitor::onFinished()
{
    if (m_over)
        return;
    if (!m_loopEnded) {
        // Checkpoints written faster than the worker printed are counted now, so a run that
        // saved every epoch is not taken for one that ended early.
        std::optional<ChartPoints> latest;
        while (m_epochsSeen < m_epochsToCount) {
            std::optional<ChartPoints> prepared = scan();
            if (!prepared)
                break;
            latest = std::move(prepared);
        }
        if (latest)
            Q_EMIT chartUpdated(*latest);
        if (const std::optional<QString> note = earlyStopNote(); note && m_epochsSeen >= m_epochsToCount)
            Q_EMIT stateChanged(progresstext::stateText(int(m_series.validation.size()), m_epochsToCount, note));
    }
    endRun(m_epochsSeen < m_epochsToCount);
}

void RunMonitor::endRun(bool early)
{
    m_over = true;
    m_loopEnded = true;
    const QString text = standardErrorText();
    if (m_stopped) {
        for (const QString& name : runfiles::removePartialFiles(m_run.workspace))
            diag::print("cannot remove", name);
    }
    // A stopped worker rarely wrote to standard error; the log then says what it last showed.
    const QString failure = runfiles::writeErrorLog(errorLogPath(), m_stopped ? runfiles::stoppedRunLog(text, m_chunks) : text);
    if (!failure.isEmpty())
        diag::print(failure);
    if (m_stopped)
        Q_EMIT stateChanged(QStringLiteral("Training stopped."));
    else if (early)
        Q_EMIT endedEarly(text);
    else
        Q_EMIT trainingFinished(text);
}

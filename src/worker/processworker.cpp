#include "worker/processworker.h"

#include <QProcess>

ProcessWorker::ProcessWorker(const QString& program, const QStringList& arguments, QObject* parent)
    : RunningWorker(parent), m_process(new QProcess(this)), m_program(program), m_arguments(arguments)
{
    follow();
}

ProcessWorker::ProcessWorker(QProcess* process, QObject* parent) : RunningWorker(parent), m_process(process)
{
    m_process->setParent(this);
    follow();
}

ProcessWorker::~ProcessWorker()
{
    disconnect(m_process, nullptr, this, nullptr);
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
}

void ProcessWorker::follow()
{
    connect(m_process, &QProcess::started, this, &RunningWorker::started);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Q_EMIT failedToStart(m_process->errorString());
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this,
            [this] { Q_EMIT standardOutput(m_process->readAllStandardOutput()); });
    connect(m_process, &QProcess::readyReadStandardError, this,
            [this] { Q_EMIT standardError(m_process->readAllStandardError()); });
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        drain();
        Q_EMIT finished(exitCode, status == QProcess::CrashExit);
    });
}

// What the pipes still hold when the process ends.
void ProcessWorker::drain()
{
    const QByteArray out = m_process->readAllStandardOutput();
    if (!out.isEmpty())
        Q_EMIT standardOutput(out);
    const QByteArray err = m_process->readAllStandardError();
    if (!err.isEmpty())
        Q_EMIT standardError(err);
}

void ProcessWorker::start() { m_process->start(m_program, m_arguments); }

bool ProcessWorker::running() const { return m_process->state() != QProcess::NotRunning; }

void ProcessWorker::stop()
{
    if (!running())
        return;
    m_process->kill();
    m_process->waitForFinished(3000);
}

std::unique_ptr<RunningWorker> ProcessRunner::worker(const QString& program, const QStringList& arguments)
{
    return std::make_unique<ProcessWorker>(program, arguments);
}

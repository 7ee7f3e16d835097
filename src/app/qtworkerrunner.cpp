#include "app/qtworkerrunner.h"

#include "app/filedownload.h"
#include "util/textutil.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <memory>

namespace {
// A modal wait that shows after 300 ms and stays until the work is over, whatever its value.
void makeWaiting(QProgressDialog& dialog)
{
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(300);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
}
}  // namespace

void QtWorkerRunner::runWork(const QString& waitingText, int total, const std::function<void(std::atomic_int& done)>& work)
{
    std::atomic_int done{0};
    std::unique_ptr<QThread> thread(QThread::create([&work, &done] { work(done); }));
    QProgressDialog dialog(waitingText, QString(), 0, std::max(total, 0), m_window);
    makeWaiting(dialog);
    dialog.setCancelButton(nullptr);
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &dialog, [&dialog, &done] { dialog.setValue(done.load()); });
    dialog.setValue(0);
    thread->start();
    tick.start(100);
    if (!thread->isFinished())
        loop.exec(QEventLoop::AllEvents);
    thread->wait();
}

WorkerResult QtWorkerRunner::run(const QString& program, const QStringList& arguments, const QString& waitingText)
{
    WorkerResult result;
    QProcess process;
    QProgressDialog dialog(waitingText, QStringLiteral("Cancel"), 0, 0, m_window);
    makeWaiting(dialog);

    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop, &process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart || process.state() == QProcess::NotRunning)
            loop.quit();
    });
    const auto cancel = [&result, &process] {
        if (result.cancelled)
            return;
        result.cancelled = true;
        process.terminate();
        if (!process.waitForFinished(2000))
            process.kill();
    };
    // Escape rejects the dialog, which does not always say `canceled` first: either ends the worker.
    QObject::connect(&dialog, &QProgressDialog::canceled, &loop, cancel);
    QObject::connect(&dialog, &QDialog::rejected, &loop, cancel);
    // Keep the pipes drained so a chatty worker never blocks on a full pipe.
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop,
                     [&result, &process] { result.standardOutput += process.readAllStandardOutput(); });
    QObject::connect(&process, &QProcess::readyReadStandardError, &loop,
                     [&result, &process] { result.standardError += process.readAllStandardError(); });

    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        result.errorText = process.errorString();
        return result;
    }
    result.started = true;
    // Starts the count to the dialog's showing: a busy dialog that never gets a value waits
    // Qt's default four seconds instead, leaving a hung worker without a Cancel that long.
    dialog.setValue(0);
    if (process.state() != QProcess::NotRunning)
        loop.exec(QEventLoop::AllEvents);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
    }
    result.standardOutput += process.readAllStandardOutput();
    result.standardError += process.readAllStandardError();
    result.crashed = process.exitStatus() == QProcess::CrashExit && !result.cancelled;
    result.exitCode = process.exitCode();
    return result;
}

DownloadResult QtWorkerRunner::download(const QUrl& url, const QString& path, const QString& waitingText)
{
    FileDownload transfer(url, path);
    // The range stays 0..1000 so sizes past 2 GB fit; 0..0 while the size is unknown.
    QProgressDialog dialog(waitingText, QStringLiteral("Cancel"), 0, 0, m_window);
    makeWaiting(dialog);
    QEventLoop loop;
    QElapsedTimer clock;
    QObject::connect(&transfer, &FileDownload::finished, &loop, &QEventLoop::quit);
    QObject::connect(&dialog, &QProgressDialog::canceled, &transfer, &FileDownload::cancel);
    QObject::connect(&dialog, &QDialog::rejected, &transfer, &FileDownload::cancel);
    QObject::connect(&transfer, &FileDownload::progress, &dialog, [&](qint64 received, qint64 total) {
        if (total > 0 && dialog.maximum() == 0)
            dialog.setMaximum(1000);
        if (total > 0)
            dialog.setValue(int(received * 1000 / total));
        dialog.setLabelText(waitingText + QLatin1Char('\n') + textutil::transferText(received, total, clock.elapsed()));
    });
    clock.start();
    dialog.setValue(0);
    transfer.start();
    if (!transfer.done())
        loop.exec(QEventLoop::AllEvents);
    return transfer.result();
}

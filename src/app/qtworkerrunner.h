#pragma once

#include "worker/workerrunner.h"

class QWidget;

// Runs the worker under a modal progress dialog with Cancel, in a local event loop, so the
// window repaints while it waits.
class QtWorkerRunner : public WorkerRunner {
public:
    explicit QtWorkerRunner(QWidget* window = nullptr) : m_window(window) {}
    void setWindow(QWidget* window) { m_window = window; }
    WorkerResult run(const QString& program, const QStringList& arguments, const QString& waitingText) override;
    void runWork(const QString& waitingText, int total, const std::function<void(std::atomic_int& done)>& work) override;
    DownloadResult download(const QUrl& url, const QString& path, const QString& waitingText) override;

private:
    QWidget* m_window;
};

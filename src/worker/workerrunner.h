#pragma once

#include "worker/workerresult.h"

#include <QStringList>
#include <QUrl>
#include <atomic>
#include <functional>

struct DownloadResult {
    bool completed = false;  // every byte arrived and is in the file
    bool cancelled = false;  // the user stopped it
    QString error;           // why it did not complete
};

// Runs a worker and waits for it. The window keeps painting meanwhile and the user may cancel.
class WorkerRunner {
public:
    virtual ~WorkerRunner() = default;
    virtual WorkerResult run(const QString& program, const QStringList& arguments, const QString& waitingText) = 0;
    // Runs `work` on another thread and waits for it while the window keeps painting, showing
    // `done` of `total` steps when it takes a while. Work that cannot be cancelled half-way.
    virtual void runWork(const QString& waitingText, int total, const std::function<void(std::atomic_int& done)>& work) = 0;
    // Downloads `url` into `path`, showing the bytes received and the time left, with Cancel.
    // Unless it completed, `path` is removed.
    virtual DownloadResult download(const QUrl& url, const QString& path, const QString& waitingText) = 0;
};

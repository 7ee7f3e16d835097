#pragma once

#include "worker/workerrunner.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

class QNetworkReply;

// One HTTP(S) download streamed into a file, on the event loop. The proxy comes from the
// system's configuration, which includes the usual *_proxy variables. A download that fails or
// is cancelled removes its file.
class FileDownload : public QObject {
    Q_OBJECT
public:
    FileDownload(const QUrl& url, const QString& path, QObject* parent = nullptr);
    ~FileDownload() override;

    void start();
    void cancel();
    bool done() const { return m_done; }
    const DownloadResult& result() const { return m_result; }

Q_SIGNALS:
    void progress(qint64 received, qint64 total);  // total is -1 while unknown
    void finished();

private:
    void store();
    void end(const QString& error);

    QUrl m_url;
    QFile m_file;
    QNetworkAccessManager m_manager;
    QNetworkReply* m_reply = nullptr;
    DownloadResult m_result;
    bool m_done = false;
};

#include "app/filedownload.h"

#include "util/filewrite.h"

#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
// A connection that delivers nothing for this long is given up, rather than waiting forever.
constexpr int kStallMs = 60000;
}  // namespace

FileDownload::FileDownload(const QUrl& url, const QString& path, QObject* parent)
    : QObject(parent), m_url(url), m_file(path)
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

FileDownload::~FileDownload()
{
    if (!m_done)
        end(QStringLiteral("the download was abandoned"));
}

void FileDownload::start()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        end(QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
        return;
    }
    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(kStallMs);
    m_reply = m_manager.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &FileDownload::store);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &FileDownload::progress);
    connect(m_reply, &QNetworkReply::finished, this, [this] {
        if (m_done)
            return;
        store();
        if (m_done)
            return;
        if (m_reply->error() != QNetworkReply::NoError) {
            end(m_reply->errorString());
            return;
        }
        if (!m_file.flush()) {
            end(filewrite::shortWriteReason(m_file));
            return;
        }
        m_result.completed = true;
        end(QString());
    });
}

void FileDownload::cancel()
{
    if (m_done)
        return;
    m_result.cancelled = true;
    end(QStringLiteral("cancelled"));
}

void FileDownload::store()
{
    if (m_done || !m_reply)
        return;
    const QByteArray data = m_reply->readAll();
    if (!data.isEmpty() && m_file.write(data) != data.size())
        end(filewrite::shortWriteReason(m_file));
}

void FileDownload::end(const QString& error)
{
    m_done = true;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    m_file.close();
    if (!m_result.completed) {
        m_result.error = error;
        m_file.remove();
    }
    Q_EMIT finished();
}

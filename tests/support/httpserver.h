#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A local HTTP server on the test's own event loop that answers every GET with one body, sent
// in chunks so a client sees its progress and can be stopped half-way.
class HttpServer : public QObject {
    Q_OBJECT
public:
    explicit HttpServer(const QByteArray& body, QObject* parent = nullptr);

    void setPace(int chunkBytes, int gapMs) { m_chunk = chunkBytes; m_gapMs = gapMs; }
    QUrl url(const QString& path) const;
    int requests() const { return m_requests; }

private:
    void answer(QTcpSocket* socket);

    QTcpServer m_server;
    QByteArray m_body;
    int m_chunk = 64 * 1024;
    int m_gapMs = 0;
    int m_requests = 0;
};

#include "support/httpserver.h"

#include <QTcpSocket>
#include <QTimer>
#include <memory>

HttpServer::HttpServer(const QByteArray& body, QObject* parent) : QObject(parent), m_body(body)
{
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
                request->append(socket->readAll());
                if (request->contains("\r\n\r\n") && !socket->property("answered").toBool()) {
                    socket->setProperty("answered", true);
                    answer(socket);
                }
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QUrl HttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(m_server.serverPort()).arg(path));
}

void HttpServer::answer(QTcpSocket* socket)
{
    ++m_requests;
    const QByteArray body = m_body;
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " + QByteArray::number(body.size()) +
                  "\r\nConnection: close\r\n\r\n");
    auto sent = std::make_shared<qsizetype>(0);
    auto* pump = new QTimer(socket);
    pump->setInterval(m_gapMs);
    connect(pump, &QTimer::timeout, socket, [socket, body, sent, pump, chunk = m_chunk] {
        if (socket->state() != QAbstractSocket::ConnectedState) {
            pump->stop();
            return;
        }
        if (*sent >= body.size()) {
            pump->stop();
            socket->disconnectFromHost();
            return;
        }
        const QByteArray part = body.mid(*sent, chunk);
        *sent += part.size();
        socket->write(part);
    });
    pump->start();
}

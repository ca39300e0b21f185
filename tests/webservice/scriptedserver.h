#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <utility>

// A loopback HTTP peer that answers every request with the same raw bytes, so
// a test controls the status line and headers to the letter. It keeps each
// request head it received. With no reply set it accepts and never answers.
class ScriptedServer : public QObject {
public:
    explicit ScriptedServer(QByteArray reply = {}, bool closeAfterReply = true, quint16 port = 0)
        : m_reply(std::move(reply)), m_closeAfterReply(closeAfterReply)
    {
        m_server.listen(QHostAddress::LocalHost, port);
        connect(&m_server, &QTcpServer::newConnection, this, &ScriptedServer::accept);
    }

    bool isListening() const { return m_server.isListening(); }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    const QList<QByteArray> &requests() const { return m_requests; }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void readRequest(QTcpSocket *socket)
    {
        QByteArray &head = m_pending[socket];
        head += socket->readAll();
        const qsizetype end = head.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_requests.append(head.left(end));
        m_pending.remove(socket);
        if (m_reply.isEmpty())
            return;
        socket->write(m_reply);
        if (m_closeAfterReply)
            socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QByteArray m_reply;
    bool m_closeAfterReply = true;
    QList<QByteArray> m_requests;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

// A loopback port on which nothing listens: taken from the system, then let go.
inline quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// A loopback HTTP peer that answers each request with the same raw bytes, so
// a test controls the status line and headers to the letter. With no reply it
// accepts and never answers.
class ScriptedServer : public QTcpServer {
public:
    explicit ScriptedServer(const QByteArray &reply, bool closeAfterReply = true)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, reply, closeAfterReply] {
            QTcpSocket *socket = nextPendingConnection();
            ++connections;
            connect(socket, &QTcpSocket::readyRead, socket, [socket, reply, closeAfterReply] {
                if (!socket->peek(socket->bytesAvailable()).contains("\r\n\r\n"))
                    return;
                socket->readAll();
                socket->write(reply);
                if (closeAfterReply && !reply.isEmpty())
                    socket->disconnectFromHost();
            });
        });
    }

    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }
    int connections = 0;
};

// A loopback port on which nothing listens: taken from the system, then let go.
inline quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// A loopback HTTP peer scripted to the byte. It keeps the head of every
// request and answers each with `head`, then `body` `copies` times, then
// closes the line; with no copies it holds the line open. With an empty head
// it accepts and never answers.
class LoopbackServer : public QTcpServer {
public:
    explicit LoopbackServer(const QByteArray &head = {}, const QByteArray &body = {},
                            int copies = 1)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [=] {
            QTcpSocket *socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [=] {
                if (!socket->peek(socket->bytesAvailable()).contains("\r\n\r\n"))
                    return;
                requests += socket->readAll();
                if (head.isEmpty())
                    return;
                socket->write(head);
                for (int copy = 0; copy < copies; ++copy)
                    socket->write(body);
                if (copies > 0)
                    socket->disconnectFromHost();
            });
        });
    }

    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }
    QByteArray requests;
};

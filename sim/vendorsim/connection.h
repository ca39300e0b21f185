#pragma once

#include "httprequest.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTimer>

class QTcpSocket;

namespace brimo::sim {

struct HttpReply {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
};

// How a reply leaves the service.
enum class Delivery {
    Whole,   // all of it, then close
    Slow,    // the head at once, the body in pieces spread over the slow time
    Cut,     // the head with the full length, half the body, then close
    NotHttp, // garbage instead of the reply, then close
    Hang,    // nothing at all; the line stays open until the client gives up
};

// One client connection: reads one request head, hands it on, sends the
// answer and closes. Deletes itself when the line is gone.
class Connection : public QObject {
    Q_OBJECT

public:
    Connection(QTcpSocket *socket, int slowMs, QObject *parent = nullptr);

    void answer(const HttpReply &reply, Delivery delivery);
    // Where this line reached the service, as http://HOST:PORT.
    QByteArray localOrigin() const;

signals:
    void requestReceived(brimo::sim::Connection *connection,
                         const brimo::sim::HttpRequest &request);
    void badRequest(brimo::sim::Connection *connection, int status);

private:
    static constexpr qsizetype kMaxHead = 64 * 1024;
    static constexpr qsizetype kChunk = 256 * 1024;

    void readHead();
    void sendMore();
    void startTrickle();
    void trickle();
    void finish();

    QTcpSocket *m_socket = nullptr;
    QByteArray m_buffer;
    bool m_headDone = false;
    QByteArray m_body;
    qsizetype m_sent = 0;
    qsizetype m_limit = 0;
    qsizetype m_piece = 0;
    bool m_pumping = false;
    int m_slowMs = 5000;
    QTimer m_trickle;
};

} // namespace brimo::sim

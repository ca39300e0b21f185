#include "connection.h"

#include <QTcpSocket>
#include <QUrl>

#include <algorithm>

namespace brimo::sim {
namespace {

constexpr int kSlowPieces = 50;

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

QByteArray formatHead(const HttpReply &reply)
{
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonFor(reply.status) + "\r\n";
    for (const auto &[name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    return head;
}

} // namespace

Connection::Connection(QTcpSocket *socket, int slowMs, QObject *parent)
    : QObject(parent), m_socket(socket), m_slowMs(slowMs)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &Connection::readHead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &Connection::sendMore);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(&m_trickle, &QTimer::timeout, this, &Connection::trickle);
    // The request may already be waiting when the connection is taken over.
    QTimer::singleShot(0, this, &Connection::readHead);
}

QByteArray Connection::localOrigin() const
{
    QUrl origin;
    origin.setScheme(QStringLiteral("http"));
    origin.setHost(m_socket->localAddress().toString());
    origin.setPort(m_socket->localPort());
    return origin.toEncoded();
}

void Connection::readHead()
{
    if (m_headDone)
        return;
    m_buffer += m_socket->readAll();
    const qsizetype end = requestHeadEnd(m_buffer);
    if (end < 0) {
        if (m_buffer.size() > kMaxHead) {
            m_headDone = true;
            emit badRequest(this, 431);
        }
        return;
    }
    m_headDone = true;
    HttpRequest request;
    if (!parseRequestHead(m_buffer.left(end), &request)) {
        emit badRequest(this, 400);
        return;
    }
    emit requestReceived(this, request);
}

void Connection::answer(const HttpReply &reply, Delivery delivery)
{
    m_body = reply.body;
    m_sent = 0;
    switch (delivery) {
    case Delivery::Hang:
        return;
    case Delivery::NotHttp:
        m_socket->write("\x01\x02 BRIMO? this is not an answer \xFF\xFE\r\n\r\n");
        finish();
        return;
    case Delivery::Slow:
        m_socket->write(formatHead(reply));
        startTrickle();
        return;
    case Delivery::Cut:
    case Delivery::Whole:
        m_socket->write(formatHead(reply));
        m_limit = delivery == Delivery::Cut ? m_body.size() / 2 : m_body.size();
        m_pumping = true;
        sendMore();
        return;
    }
}

// Keeps no more than one chunk queued in the socket, so a large image is not
// copied whole into its write buffer.
void Connection::sendMore()
{
    if (!m_pumping)
        return;
    while (m_sent < m_limit && m_socket->bytesToWrite() < kChunk) {
        const qsizetype n = std::min(kChunk, m_limit - m_sent);
        m_socket->write(m_body.constData() + m_sent, n);
        m_sent += n;
    }
    if (m_sent >= m_limit) {
        m_pumping = false;
        finish();
    }
}

// The pieces are spread so that the last one leaves after the whole slow
// time, whatever the size of the body.
void Connection::startTrickle()
{
    m_limit = m_body.size();
    const qsizetype pieces = std::min<qsizetype>(kSlowPieces, m_limit);
    if (pieces == 0) {
        finish();
        return;
    }
    m_piece = (m_limit + pieces - 1) / pieces;
    m_trickle.start(std::max(1, static_cast<int>(m_slowMs / pieces)));
}

void Connection::trickle()
{
    const qsizetype n = std::min(m_piece, m_limit - m_sent);
    if (n > 0) {
        m_socket->write(m_body.constData() + m_sent, n);
        m_sent += n;
    }
    if (m_sent >= m_limit) {
        m_trickle.stop();
        finish();
    }
}

// Closes once everything queued has gone out.
void Connection::finish()
{
    m_body.clear();
    m_socket->disconnectFromHost();
}

} // namespace brimo::sim

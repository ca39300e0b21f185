#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace brimo::sim {

// The head of one HTTP/1.x request as it came off the wire.
struct HttpRequest {
    QByteArray method;
    // As sent: origin form ("/ws/ping.asp?"), or absolute form when a proxy
    // passes the request on unchanged.
    QByteArray target;
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> headers;
    // Request line and header lines, each ending in LF.
    QByteArray head;

    // The path of the target without scheme, authority and query.
    QString path() const;
    // The decoded value of one query parameter; empty when it is missing.
    QString queryValue(const QString &key) const;
};

// The index just past the blank line that ends the request head in `buffer`,
// or -1 while the head is incomplete. Bare LF line ends are accepted.
qsizetype requestHeadEnd(const QByteArray &buffer);

// Parses a complete request head. False when the request line is not
// "METHOD TARGET HTTP/x.y" or a header line has no colon.
bool parseRequestHead(const QByteArray &head, HttpRequest *request);

} // namespace brimo::sim

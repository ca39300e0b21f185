#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

namespace brimo::sim {

// The answer to one request, byte for byte as it leaves.
struct Answer {
    int status = 200;
    QByteArray headers; // header lines beside Content-Type, each ending in CR LF
    QByteArray body;
    qint64 declared = 0; // Content-Length; -1 for none: the body ends when the line closes
    qint64 sent = 0;     // bytes of body sent, the body repeated as often as it takes; -1: forever
    bool slow = false;   // the body spread over the slow time
    QByteArray raw;      // sent instead of anything above when not empty
    bool hang = false;   // nothing at all; the line stays open
};

// The stand-in vendor web service over plain HTTP/1.1: "/ws/ping.asp", and
// "/ws/updatedevice.asp?SystemCodeString=SYSNO" with the image of that system
// number and its "REGEND" header, or status 500 and a message. Control paths
// under /sim/ set faults and show what reached the service.
class VendorService : public QObject {
    Q_OBJECT
public:
    struct Image {
        QByteArray body;
        QByteArray regend;
    };
    // Faults that shape any answer, and faults that wait for a download.
    static const QStringList kAnswerFaults;
    static const QStringList kDownloadFaults;

    VendorService(QHash<QByteArray, Image> images, int slowMs, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    QString address() const;
    // The fault for every request it concerns, unless one is queued.
    void setStandingFault(const QString &fault) { m_standing = fault; }

private:
    void accept();
    void handle(QTcpSocket *socket, const QByteArray &head);
    Answer control(const QByteArray &path, const QByteArray &query);
    Answer serve(const QByteArray &path, const QByteArray &query) const;
    QString takeFault(bool download);
    Answer withFault(Answer answer, const QString &fault) const;
    void send(QTcpSocket *socket, const Answer &answer) const;

    QHash<QByteArray, Image> m_images;
    int m_slowMs = 5000;
    QTcpServer m_server;
    QByteArray m_requests; // the heads of the service requests so far
    QString m_standing;
    QString m_queued;
    int m_queuedCount = 0;
    QByteArray m_filler; // lines of S-records for the answers that never end
};

} // namespace brimo::sim

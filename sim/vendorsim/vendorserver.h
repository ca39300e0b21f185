#pragma once

#include "connection.h"
#include "faultplan.h"
#include "imagestore.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

namespace brimo::sim {

// The stand-in vendor service: the two service paths, a refusal for unknown
// devices, and the control paths under /sim/ that tests use to inject faults
// and to see what reached the service.
class VendorServer : public QObject {
    Q_OBJECT

public:
    explicit VendorServer(ImageStore images, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    // "HOST:PORT" of the listening socket.
    QString address() const;
    void setStandingFault(Fault fault) { m_faults.setStanding(fault); }
    void setSlowMs(int ms) { m_slowMs = ms; }

private:
    void acceptConnections();
    void handle(brimo::sim::Connection *connection, const brimo::sim::HttpRequest &request);
    void refuse(brimo::sim::Connection *connection, int status);
    HttpReply serviceReply(const HttpRequest &request) const;
    HttpReply controlReply(const HttpRequest &request);
    HttpReply faultReply(const HttpRequest &request);
    void logLine(const QByteArray &line) const;
    void serveWithFault(Connection *connection, const HttpRequest &request, Fault fault);

    ImageStore m_images;
    FaultPlan m_faults;
    QTcpServer m_server;
    QByteArray m_requests;
    QElapsedTimer m_clock;
    int m_slowMs = 5000;
};

} // namespace brimo::sim

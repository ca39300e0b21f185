#include "vendorserver.h"

#include <QTcpSocket>

#include <cstdio>

namespace brimo::sim {
namespace {

HttpReply textReply(int status, const QByteArray &text)
{
    HttpReply reply;
    reply.status = status;
    reply.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/plain")));
    reply.body = text;
    return reply;
}

QByteArray describe(const HttpRequest &request)
{
    return request.method + ' ' + request.target;
}

} // namespace

VendorServer::VendorServer(ImageStore images, QObject *parent)
    : QObject(parent), m_images(std::move(images))
{
    m_clock.start();
    connect(&m_server, &QTcpServer::newConnection, this, &VendorServer::acceptConnections);
}

bool VendorServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server.listen(address, port))
        return true;
    *error = m_server.errorString();
    return false;
}

QString VendorServer::address() const
{
    return m_server.serverAddress().toString() + QLatin1Char(':') +
           QString::number(m_server.serverPort());
}

void VendorServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *connection = new Connection(socket, m_slowMs, this);
        connect(connection, &Connection::requestReceived, this, &VendorServer::handle);
        connect(connection, &Connection::badRequest, this, &VendorServer::refuse);
    }
}

void VendorServer::refuse(Connection *connection, int status)
{
    logLine("unreadable request -> " + QByteArray::number(status));
    connection->answer(textReply(status, "Unreadable request\n"), Delivery::Whole);
}

void VendorServer::handle(Connection *connection, const HttpRequest &request)
{
    if (request.path().startsWith(QLatin1String("/sim/"))) {
        // Control requests neither consume a fault nor show up in the log of
        // requests, so a test sees only what its client sent.
        const HttpReply reply = controlReply(request);
        logLine(describe(request) + " -> " + QByteArray::number(reply.status));
        connection->answer(reply, Delivery::Whole);
        return;
    }
    m_requests += request.head + '\n';
    serveWithFault(connection, request, m_faults.next());
}

HttpReply VendorServer::serviceReply(const HttpRequest &request) const
{
    if (request.method != "GET")
        return textReply(405, "Only GET is served here\n");
    const QString path = request.path();
    if (path == QLatin1String("/ws/ping.asp"))
        return textReply(200, "OK\n");
    if (path != QLatin1String("/ws/updatedevice.asp"))
        return textReply(404, "No such page\n");
    const QString systemNumber = request.queryValue(QStringLiteral("SystemCodeString"));
    const std::optional<ServedImage> image = m_images.find(systemNumber);
    if (!image) {
        return textReply(500, "No update is available for system number " +
                                  systemNumber.toLatin1() + ".");
    }
    HttpReply reply = textReply(200, image->body);
    if (image->hasRegend)
        reply.headers.append(qMakePair(QByteArray("REGEND"), image->regend));
    return reply;
}

void VendorServer::serveWithFault(Connection *connection, const HttpRequest &request, Fault fault)
{
    HttpReply reply = serviceReply(request);
    Delivery delivery = Delivery::Whole;
    switch (fault) {
    case Fault::None:
        break;
    case Fault::NotFound:
        reply = textReply(404, "No such page\n");
        break;
    case Fault::Redirect:
        reply = textReply(302, "Moved\n");
        reply.headers.append(
            qMakePair(QByteArray("Location"), connection->localOrigin() + "/sim/moved"));
        break;
    case Fault::Forbidden:
        reply = textReply(403, "Access denied\n");
        break;
    case Fault::ServerError:
        reply = textReply(500, "The update service is temporarily unavailable.");
        break;
    case Fault::EmptyBody:
        reply = textReply(200, QByteArray());
        break;
    case Fault::NoRegend:
        reply.headers.removeIf([](const auto &header) { return header.first == "REGEND"; });
        break;
    case Fault::Slow:
        delivery = Delivery::Slow;
        break;
    case Fault::Cut:
        delivery = Delivery::Cut;
        break;
    case Fault::NotHttp:
        delivery = Delivery::NotHttp;
        break;
    case Fault::Hang:
        delivery = Delivery::Hang;
        break;
    }
    QByteArray note = describe(request) + " -> ";
    if (delivery == Delivery::NotHttp || delivery == Delivery::Hang)
        note += delivery == Delivery::Hang ? "no answer" : "no HTTP";
    else
        note += QByteArray::number(reply.status);
    if (fault != Fault::None)
        note += " (fault " + faultName(fault).toLatin1() + ')';
    logLine(note);
    connection->answer(reply, delivery);
}

HttpReply VendorServer::controlReply(const HttpRequest &request)
{
    const QString path = request.path();
    if (path == QLatin1String("/sim/requests")) {
        const HttpReply reply = textReply(200, m_requests);
        if (request.queryValue(QStringLiteral("clear")) == QLatin1String("1"))
            m_requests.clear();
        return reply;
    }
    if (path == QLatin1String("/sim/fault"))
        return faultReply(request);
    if (path == QLatin1String("/sim/moved"))
        return textReply(200, "You followed a redirect.\n");
    return textReply(404, "No such control path\n");
}

HttpReply VendorServer::faultReply(const HttpRequest &request)
{
    const std::optional<Fault> fault = faultFromName(request.queryValue(QStringLiteral("mode")));
    const QString countText = request.queryValue(QStringLiteral("count"));
    bool ok = true;
    const int count = countText.isEmpty() ? 1 : countText.toInt(&ok);
    if (!fault || !ok || count < 1) {
        return textReply(
            400, "usage: /sim/fault?mode=" + faultNames().join(QLatin1Char('|')).toLatin1() +
                     "[&count=N], N >= 1\n");
    }
    m_faults.queue(*fault, count);
    return textReply(200, "ok\n");
}

// Seconds since start on each line, so a log can be laid beside a test's own.
void VendorServer::logLine(const QByteArray &line) const
{
    std::fprintf(stderr, "vendorsim: %7.3f %s\n", static_cast<double>(m_clock.elapsed()) / 1000.0,
                 line.constData());
    std::fflush(stderr);
}

} // namespace brimo::sim

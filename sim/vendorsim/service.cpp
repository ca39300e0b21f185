#include "service.h"

#include "common/srec.h"

#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace brimo::sim {
namespace {

constexpr qsizetype kLongestHead = 64 * 1024;
constexpr qint64 kChunk = 256 * 1024;
constexpr int kSlowPieces = 50;
constexpr qint64 kHugeLength = 100LL * 1024 * 1024;

// A message of markup, as a careless server might send it: headings, bold
// text and pictures from a network share and from the local disk.
const char kMarkup[] = R"(<html><head><title>Service notice</title></head><body>
<h1>Update service</h1><h2>Maintenance</h2>
<p><b>The update service is being moved.</b></p>
<img src="\\fileserver\share\x.png"><img src="file:///C:/Windows/Web/Wallpaper/img0.jpg">
<p>Please try again tomorrow.</p></body></html>)";

Answer text(int status, const QByteArray &body)
{
    Answer answer;
    answer.status = status;
    answer.body = body;
    answer.declared = answer.sent = body.size();
    return answer;
}

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    default:
        return "Internal Server Error";
    }
}

// The value of `key` in a query, percent-decoded to the bytes that were sent.
QByteArray queryValue(const QByteArray &query, const QByteArray &key)
{
    for (const QByteArray &pair : query.split('&')) {
        if (pair.startsWith(key + '='))
            return QByteArray::fromPercentEncoding(pair.mid(key.size() + 1));
    }
    return {};
}

QByteArray longMessage()
{
    QByteArray message;
    for (int line = 1; line <= 300; ++line)
        message += "Line " + QByteArray::number(line) +
                   " of 300: the update service has more to "
                   "say about your device than fits on any screen.\r\n";
    return message;
}

// The image with its third data record's checksum one off.
QByteArray withBadRecord(QByteArray image)
{
    qsizetype end = 0;
    for (int line = 0; line < 4; ++line)
        end = image.indexOf("\r\n", end) + 2;
    image[end - 3] = image[end - 3] == '0' ? '1' : '0';
    return image;
}

// The image with one more record that writes to the identity: a second,
// different identity record after the header, or a record before the end
// that writes over the identity's last 8 bytes.
QByteArray withIdentityWrittenAgain(QByteArray image, bool whole)
{
    if (whole)
        return image.insert(image.indexOf('\n') + 1,
                            formatSRecord('3', kIdentityAddress, QByteArray(16, '\0')) + "\r\n");
    return image.insert(image.lastIndexOf("S7"),
                        formatSRecord('3', kIdentityAddress + 8, "ZZ99YY88") + "\r\n");
}

// The image with its identity record cut to 40 characters.
QByteArray withShortIdentity(QByteArray image)
{
    const qsizetype start = image.indexOf("\nS31500080010") + 1;
    return image.remove(start + 40, image.indexOf("\r\n", start) - start - 40);
}

// Sends an answer's body as fast as the socket takes it, or spread over the
// slow time, then closes the line; for an endless answer, until the client does.
class BodySender : public QObject {
public:
    BodySender(QTcpSocket *socket, const Answer &answer, int slowMs)
        : QObject(socket), m_socket(socket), m_body(answer.body), m_total(answer.sent)
    {
        if (answer.slow) {
            m_piece = qMax<qint64>(1, (m_total + kSlowPieces - 1) / kSlowPieces);
            connect(&m_timer, &QTimer::timeout, this, &BodySender::pump);
            m_timer.start(slowMs / kSlowPieces);
        } else {
            connect(socket, &QTcpSocket::bytesWritten, this, &BodySender::pump);
            pump();
        }
    }

private:
    void pump()
    {
        do {
            if (m_total >= 0 && m_sent >= m_total) {
                m_timer.stop();
                m_socket->disconnectFromHost();
                return;
            }
            const qint64 at = m_sent % m_body.size();
            qint64 n = qMin(m_piece, m_body.size() - at);
            if (m_total >= 0)
                n = qMin(n, m_total - m_sent);
            m_socket->write(m_body.constData() + at, n);
            m_sent += n;
        } while (!m_timer.isActive() && m_socket->bytesToWrite() < kChunk);
    }

    QTcpSocket *m_socket;
    QByteArray m_body;
    qint64 m_total;
    qint64 m_sent = 0;
    qint64 m_piece = kChunk;
    QTimer m_timer;
};

} // namespace

const QStringList VendorService::kAnswerFaults = {
    QStringLiteral("404"),  QStringLiteral("302"),     QStringLiteral("403"),
    QStringLiteral("401"),  QStringLiteral("500"),     QStringLiteral("empty"),
    QStringLiteral("slow"), QStringLiteral("cut"),     QStringLiteral("nothttp"),
    QStringLiteral("hang"), QStringLiteral("endless"), QStringLiteral("huge")};
const QStringList VendorService::kDownloadFaults = {
    QStringLiteral("noregend"),  QStringLiteral("markup"),    QStringLiteral("longtext"),
    QStringLiteral("cutline"),   QStringLiteral("badrecord"), QStringLiteral("shortident"),
    QStringLiteral("badregend"), QStringLiteral("overident"), QStringLiteral("twoidents")};

VendorService::VendorService(QHash<QByteArray, Image> images, int slowMs, QObject *parent)
    : QObject(parent), m_images(std::move(images)), m_slowMs(slowMs)
{
    connect(&m_server, &QTcpServer::newConnection, this, &VendorService::accept);
    const QByteArray lines = makeImage(kChunk, QByteArray(16, '\xFF'));
    m_filler = lines.left(lines.lastIndexOf('\n', kChunk) + 1);
}

bool VendorService::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server.listen(address, port))
        return true;
    *error = m_server.errorString();
    return false;
}

QString VendorService::address() const
{
    return m_server.serverAddress().toString() + u':' + QString::number(m_server.serverPort());
}

// One request per connection: its head, then the answer.
void VendorService::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
            *received += socket->readAll();
            const qsizetype crlf = received->indexOf("\r\n\r\n");
            const qsizetype end = crlf >= 0 ? crlf + 2 : received->indexOf("\n\n") + 1;
            if (end <= 0 && received->size() <= kLongestHead)
                return;
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            handle(socket, received->left(qMax<qsizetype>(end, 0)));
        });
    }
}

void VendorService::handle(QTcpSocket *socket, const QByteArray &head)
{
    const QByteArray line = head.left(head.indexOf('\n')).trimmed();
    const qsizetype first = line.indexOf(' ');
    const qsizetype last = line.lastIndexOf(' ');
    if (first <= 0 || last <= first || !line.mid(last + 1).startsWith("HTTP/"))
        return send(socket, text(400, "Unreadable request\n"));
    // A raw blank in the target is part of it: the utility sends values unencoded.
    QByteArray target = line.mid(first + 1, last - first - 1);
    if (target.startsWith("http://")) // from a proxy, in absolute form
        target = target.mid(target.indexOf('/', 7));
    const qsizetype mark = target.indexOf('?');
    const QByteArray path = mark < 0 ? target : target.left(mark);
    const QByteArray query = mark < 0 ? QByteArray() : target.mid(mark + 1);
    Answer answer;
    QString fault;
    if (path.startsWith("/sim/")) {
        answer = control(path, query); // neither takes a fault nor shows in the request log
    } else {
        m_requests += QByteArray(head).replace("\r\n", "\n") + '\n';
        fault = takeFault(path == "/ws/updatedevice.asp");
        answer = line.startsWith("GET ") ? serve(path, query) : text(405, "Only GET is served\n");
        answer = withFault(answer, fault);
    }
    const QByteArray outcome = answer.hang             ? "no answer"
                               : !answer.raw.isEmpty() ? "no HTTP"
                                                       : QByteArray::number(answer.status);
    std::fprintf(stderr, "vendorsim: %s -> %s%s\n", line.constData(), outcome.constData(),
                 fault.isEmpty() ? "" : qPrintable(QStringLiteral(" (fault %1)").arg(fault)));
    send(socket, answer);
}

Answer VendorService::control(const QByteArray &path, const QByteArray &query)
{
    if (path == "/sim/requests") {
        const Answer answer = text(200, m_requests);
        if (queryValue(query, "clear") == "1")
            m_requests.clear();
        return answer;
    }
    if (path == "/sim/moved")
        return text(200, "You followed a redirect.\n");
    if (path != "/sim/fault")
        return text(404, "No such control path\n");
    const QString mode = QString::fromLatin1(queryValue(query, "mode"));
    const QByteArray countText = queryValue(query, "count");
    bool numeric = true;
    const int count = countText.isEmpty() ? 1 : countText.toInt(&numeric);
    if (mode == u"none") {
        m_standing.clear();
        m_queuedCount = 0;
    } else if (!numeric || count < 1 || !(kAnswerFaults + kDownloadFaults).contains(mode)) {
        return text(400, "usage: /sim/fault?mode=none|" +
                             (kAnswerFaults + kDownloadFaults).join(u'|').toLatin1() +
                             "[&count=N], N >= 1\n");
    } else {
        m_queued = mode;
        m_queuedCount = count;
    }
    return text(200, "ok\n");
}

Answer VendorService::serve(const QByteArray &path, const QByteArray &query) const
{
    if (path == "/ws/ping.asp")
        return text(200, "OK\n");
    if (path != "/ws/updatedevice.asp")
        return text(404, "No such page\n");
    const QByteArray systemNumber = queryValue(query, "SystemCodeString");
    const auto image = m_images.constFind(systemNumber);
    if (image == m_images.constEnd())
        return text(500, "No update is available for system number " + systemNumber + ".");
    Answer answer = text(200, image->body);
    answer.headers = "REGEND: " + image->regend + "\r\n";
    return answer;
}

// A queued fault covers the next requests it concerns; a download fault lets
// the Internet test pass by.
QString VendorService::takeFault(bool download)
{
    const QString fault = m_queuedCount > 0 ? m_queued : m_standing;
    if (!download && kDownloadFaults.contains(fault))
        return {};
    if (m_queuedCount > 0)
        --m_queuedCount;
    return fault;
}

Answer VendorService::withFault(Answer answer, const QString &fault) const
{
    const QHash<QString, Answer> replaced = {
        {QStringLiteral("404"), text(404, "No such page\n")},
        {QStringLiteral("403"), text(403, "Access denied\n")},
        {QStringLiteral("401"), text(401, "Log in first\n")},
        {QStringLiteral("500"), text(500, "The update service is temporarily unavailable.")},
        {QStringLiteral("302"), text(302, "Moved\n")},
        {QStringLiteral("empty"), text(200, {})},
        {QStringLiteral("markup"), text(500, kMarkup)},
        {QStringLiteral("longtext"), text(500, longMessage())},
        {QStringLiteral("endless"), text(200, m_filler)},
        {QStringLiteral("huge"), text(200, m_filler)},
    };
    const bool image = answer.headers.startsWith("REGEND");
    answer = replaced.value(fault, answer);
    if (fault == u"302")
        answer.headers = "Location: http://" + address().toLatin1() + "/sim/moved\r\n";
    else if (fault == u"401")
        answer.headers = "WWW-Authenticate: Basic realm=\"Brimo\"\r\nWWW-Authenticate: "
                         "NTLM\r\nWWW-Authenticate: Negotiate\r\n";
    else if (fault == u"endless")
        answer.declared = answer.sent = -1;
    else if (fault == u"huge")
        answer.declared = answer.sent = kHugeLength;
    answer.hang = fault == u"hang";
    answer.slow = fault == u"slow";
    if (fault == u"nothttp")
        answer.raw = "\x01\x02 BRIMO? this is not an answer \xFF\xFE\r\n\r\n";
    if (fault == u"cut")
        answer.sent = answer.body.size() / 2;
    if (!image)
        return answer;
    if (fault == u"noregend")
        answer.headers.clear();
    if (fault == u"badregend")
        answer.headers = "REGEND: 00112233445566ZZ\r\n";
    if (fault == u"cutline") {
        answer.body.truncate(answer.body.indexOf("\r\n", answer.body.size() / 2) + 2);
        answer.sent = answer.body.size();
        answer.declared = -1;
    }
    if (fault == u"badrecord")
        answer.body = withBadRecord(answer.body);
    if (fault == u"shortident")
        answer.body = withShortIdentity(answer.body);
    if (fault == u"overident" || fault == u"twoidents")
        answer.body = withIdentityWrittenAgain(answer.body, fault == u"twoidents");
    if (fault == u"shortident" || fault == u"overident" || fault == u"twoidents")
        answer.declared = answer.sent = answer.body.size();
    return answer;
}

void VendorService::send(QTcpSocket *socket, const Answer &answer) const
{
    if (answer.hang)
        return;
    if (!answer.raw.isEmpty()) {
        socket->write(answer.raw);
        socket->disconnectFromHost();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                      reason(answer.status) + "\r\nContent-Type: text/plain\r\n" + answer.headers;
    if (answer.declared >= 0)
        head += "Content-Length: " + QByteArray::number(answer.declared) + "\r\n";
    socket->write(head + "Connection: close\r\n\r\n");
    new BodySender(socket, answer, m_slowMs);
}

} // namespace brimo::sim

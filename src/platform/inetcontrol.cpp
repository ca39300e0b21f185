#include "platform/inetcontrol.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>
#include <QtDebug>
#include <algorithm>
#include <climits>
#include <utility>

namespace brimo {

namespace {

// The most an answer may hold: far more than any update image (about
// 2.5 MB), far less than would strain the machine. An answer that declares
// more is refused before a byte of it is kept; one that grows past it is
// ended there.
constexpr qint64 kMaxAnswerBytes = qint64{64} * 1024 * 1024;
// What Qt may hold of an answer that the sink has not taken yet, and the most
// the sink is handed at once: a large answer passes through in pieces and is
// never held whole. Of the sizes tried, 120 KiB passed a download fastest
// (64 and 256 KiB took longer, as did 1 MiB: see bench/RESULTS.md).
constexpr qint64 kPieceBytes = 120 * 1024;

enum State : qint16 {
    Resolving = 1,
    Resolved = 2,
    Connecting = 3,
    RequestSent = 6,
    Receiving = 7,
    Error = 11,
    Completed = 12,
};

// The address as the bytes the service is to see. A character up to U+00FF
// is one byte, as the device's own bytes are one character each in a system
// number; anything wider goes out in UTF-8.
QByteArray addressBytes(const QString &address)
{
    QByteArray out;
    out.reserve(address.size());
    for (qsizetype from = 0; from < address.size();) {
        const bool narrow = address.at(from).unicode() <= 0xFF;
        qsizetype to = from;
        while (to < address.size() && (address.at(to).unicode() <= 0xFF) == narrow)
            ++to;
        const QStringView run = QStringView(address).mid(from, to - from);
        out += narrow ? run.toLatin1() : run.toUtf8();
        from = to;
    }
    return out;
}

// The caller's address goes out as written, except for the bytes that a
// request line cannot carry at all.
QByteArray encodeForRequestLine(const QString &address)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const QByteArray raw = addressBytes(address);
    QByteArray out;
    out.reserve(raw.size());
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || c == '#') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0f];
        } else {
            out += c;
        }
    }
    return out;
}

// The whole header text of an answer as the control hands it out: the status
// line ("HTTP/1.1 200 OK"), then one "name: value" line per header, every
// line ending in CR LF.
QByteArray headerText(int status, const QByteArray &reason,
                      const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    for (const auto &[name, value] : headers)
        text += name + ": " + value + "\r\n";
    return text;
}

// The value of the headers named `name`, in any case; several of them are
// joined by ", ". Empty when the answer has none.
QByteArray headerValue(const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &name)
{
    QByteArray value;
    for (const auto &[headerName, one] : headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!value.isEmpty())
            value += ", ";
        value += one;
    }
    return value;
}

// Qt reports 4xx and 5xx statuses as content and server errors; for us they
// are answers like any other. Everything else means the transfer failed.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied &&
            error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError &&
            error <= QNetworkReply::UnknownServerError);
}

} // namespace

InetControl::InetControl(QObject *parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    // A login asked for ends the request as failed, the service's (401) or
    // a proxy's (407), before Qt could answer it with any credentials.
    connect(m_manager, &QNetworkAccessManager::authenticationRequired, this,
            &InetControl::refuseLogin);
    connect(m_manager, &QNetworkAccessManager::proxyAuthenticationRequired, this,
            [this](const QNetworkProxy &, QAuthenticator *) { refuseProxyLogin(); });
}

InetControl::~InetControl()
{
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
    }
    if (m_lookupId != -1)
        QHostInfo::abortHostLookup(m_lookupId);
    if (m_loop)
        m_loop->quit();
}

void InetControl::setProxy(const QString &host, quint16 port)
{
    m_proxyHost = host;
    m_proxyPort = port;
}

qint64 InetControl::openUrl(const BodySink &sink)
{
    if (m_executing) {
        qWarning("Internet transfer control: a request is already under way");
        return 0;
    }
    m_executing = true;
    m_failed = false;
    m_proxyLogin = false;
    m_state = 0;
    m_connects = 0;
    m_requestsSent = 0;
    m_sink = sink;
    m_received = 0;
    m_headerText.clear();
    m_headers.clear();

    // A state listener may close the window and take this control with it.
    const QPointer<InetControl> self(this);
    QEventLoop loop;
    m_loop = &loop;
    advanceTo(Resolving);
    if (self && !m_failed)
        resolveThenStart(requestUrl());
    if (self && m_executing)
        loop.exec();
    if (!self)
        return 0;
    m_loop = nullptr;
    m_executing = false;
    m_sink = nullptr;
    return m_failed ? 0 : m_received;
}

QByteArray InetControl::getHeader(const QByteArray &name) const
{
    return name.isEmpty() ? m_headerText : headerValue(m_headers, name);
}

void InetControl::cancel()
{
    if (!m_executing)
        return;
    if (m_reply) {
        m_reply->abort();
        return;
    }
    // Still looking the host up.
    if (m_lookupId != -1)
        QHostInfo::abortHostLookup(std::exchange(m_lookupId, -1));
    fail();
}

QUrl InetControl::requestUrl() const
{
    // HTTP's own port, 80, unless the address names another.
    return QUrl::fromEncoded(encodeForRequestLine(QStringLiteral("http://") + m_url),
                             QUrl::TolerantMode);
}

QNetworkRequest InetControl::makeRequest(const QUrl &url) const
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // A fresh connection per request, so that every request really passes
    // through connecting and disconnecting, as the progress display shows.
    request.setRawHeader("Connection", "close");
    // The body arrives as the server sent it, so its length can be checked
    // against the declared one.
    request.setRawHeader("Accept-Encoding", "identity");
    const qint64 timeoutMs = qint64{std::max(m_requestTimeout, 0)} * 1000;
    request.setTransferTimeout(static_cast<int>(std::min<qint64>(timeoutMs, INT_MAX)));
    // The vendor service never asks for a login, and none is given to it or
    // to a proxy: the utility runs as administrator over plain HTTP, and on
    // Windows Qt 6.4 answers an NTLM or Negotiate challenge with the
    // logged-on user's own credentials (SSPI), from its own thread, for
    // Negotiate without asking at all. A request without credentials is what
    // stops it: Qt then cancels every challenge, a proxy's (407) as well,
    // before answering it.
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    return request;
}

void InetControl::applyProxy()
{
    if (m_accessType == NamedProxy && !m_proxyHost.isEmpty()) {
        m_manager->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, m_proxyHost, m_proxyPort));
    } else {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        m_manager->setProxy(QNetworkProxy::DefaultProxy);
    }
}

// The proxy the connection to the address goes through; NoProxy for none.
QNetworkProxy InetControl::proxyFor(const QUrl &url) const
{
    return m_manager->proxy().type() == QNetworkProxy::DefaultProxy
               ? QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url))
                     .value(0, QNetworkProxy(QNetworkProxy::NoProxy))
               : m_manager->proxy();
}

// The host to look up is the one the connection goes to: the proxy when
// there is one, else the server itself.
QString InetControl::connectHost(const QUrl &url) const
{
    const QNetworkProxy proxy = proxyFor(url);
    return proxy.type() == QNetworkProxy::NoProxy ? url.host() : proxy.hostName();
}

void InetControl::resolveThenStart(const QUrl &url)
{
    applyProxy();
    m_lookupId = QHostInfo::lookupHost(connectHost(url), this, [this, url](const QHostInfo &host) {
        m_lookupId = -1;
        if (host.error() != QHostInfo::NoError) {
            fail();
            return;
        }
        advanceTo(Resolved);
        if (!m_failed)
            startRequest(url);
    });
}

void InetControl::startRequest(const QUrl &url)
{
    m_reply = m_manager->get(makeRequest(url));
    connect(m_reply, &QNetworkReply::socketStartedConnecting, this, [this] {
        refuseSecondAttempt(m_connects);
        advanceTo(Connecting);
    });
    connect(m_reply, &QNetworkReply::requestSent, this, [this] {
        refuseSecondAttempt(m_requestsSent);
        advanceTo(RequestSent);
    });
    m_reply->setReadBufferSize(kPieceBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &InetControl::readHead);
    connect(m_reply, &QNetworkReply::readyRead, this, &InetControl::readReply);
    connect(m_reply, &QNetworkReply::finished, this, &InetControl::finishReply);
}

// When a connection breaks before the answer is complete, Qt quietly sends
// the request again. The utility makes one attempt per request and leaves
// retrying to the user, so a second attempt ends the request as failed.
void InetControl::refuseSecondAttempt(int &attempts)
{
    if (++attempts > 1 && m_reply)
        m_reply->abort();
}

// A login the service asks for ends the request as failed, before Qt can
// answer with any credentials (see makeRequest()).
void InetControl::refuseLogin(QNetworkReply *reply, QAuthenticator *)
{
    if (reply == m_reply)
        m_reply->abort();
}

void InetControl::refuseProxyLogin()
{
    m_proxyLogin = true;
    if (m_reply)
        m_reply->abort();
}

// A login asked for is refused as its answer's head arrives; an answer that
// declares more than it may hold is refused before its body.
void InetControl::readHead()
{
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 401 || status == 407) {
        m_proxyLogin = status == 407;
        m_reply->abort();
        return;
    }
    bool declared = false;
    const qint64 length =
        m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&declared);
    if (declared && length > kMaxAnswerBytes) {
        m_reply->abort();
        return;
    }
    keepHeaders(m_reply);
    advanceTo(Receiving);
}

// Hands what has come to the sink a piece at a time. Qt passes the answer on
// in blocks of at most kPieceBytes, and a read of one whole block takes it
// over without a copy. An answer that grows past the most it may hold, or
// that the sink refuses, ends there as failed.
void InetControl::readReply()
{
    while (!m_failed && m_reply->bytesAvailable() > 0) {
        const QByteArray piece = m_reply->read(std::min(m_reply->bytesAvailable(), kPieceBytes));
        if (piece.isEmpty())
            return;
        m_received += piece.size();
        if (m_received > kMaxAnswerBytes || !m_sink(piece)) {
            m_failed = true;
            m_reply->abort();
            return;
        }
        advanceTo(Receiving);
    }
}

void InetControl::finishReply()
{
    readReply();
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    // An aborted reply still delivers queued signals; none of them concern us now.
    disconnect(reply, nullptr, this, nullptr);
    m_proxyLogin =
        m_proxyLogin || reply->error() == QNetworkReply::ProxyAuthenticationRequiredError;
    const bool answer = replyIsAnswer(reply);
    if (answer)
        keepHeaders(reply);
    reply->deleteLater();
    if (!answer || m_failed) {
        fail();
        return;
    }
    advanceTo(Completed);
    m_executing = false;
    if (m_loop)
        m_loop->quit();
}

bool InetControl::replyIsAnswer(const QNetworkReply *reply) const
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    // A login asked for (401) is never given: the request has failed.
    if (status <= 0 || status == 401 ||
        (error != QNetworkReply::NoError && !isHttpStatusError(error)))
        return false;
    // Qt may take a connection closed in the middle of the body for its end.
    // Only a declared length tells; an image cut short without one lacks its
    // termination record, which the check of every downloaded image catches.
    bool declared = false;
    const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&declared);
    return !declared || m_received == length;
}

void InetControl::keepHeaders(const QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray reason =
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    m_headers = reply->rawHeaderPairs();
    m_headerText = headerText(status, reason, m_headers);
}

void InetControl::advanceTo(qint16 state)
{
    while (!m_failed && m_state < state) {
        ++m_state;
        if (m_state != Error)
            emit stateChanged(m_state);
    }
}

void InetControl::fail()
{
    m_failed = true;
    m_state = Error;
    m_executing = false;
    if (m_loop)
        m_loop->quit();
    emit stateChanged(Error);
}

} // namespace brimo

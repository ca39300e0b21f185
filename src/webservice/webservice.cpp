#include "webservice/webservice.h"

#include <QScopeGuard>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace brimo {

namespace {

// Twelve thousand seconds: the transfer control counts its time-out in
// seconds, and this is the limit the utility always set, not a slip for 120.
constexpr int kRequestTimeoutSeconds = 12000;
// The usual port of an HTTP proxy, used when neither the stored "ProxyPort"
// nor the server text names a port: the settings dialog takes both as free
// text.
constexpr quint16 kDefaultProxyPort = 8080;
// The window shows a few hundred characters of the service's message at most
// and says when it cut one; only this much of a body is kept as text.
constexpr qsizetype kMessageBytesShown = 4096;

// The status code of an answer's header text, whose first line is the status
// line ("HTTP/1.1 200 OK"): the three characters after the first space, as a
// number. 0 when the text has no space or those characters are not a number,
// which counts as no answer.
qint16 statusCode(const QByteArray &headerText)
{
    const qsizetype space = headerText.indexOf(' ');
    bool ok = false;
    const short code = space < 0 ? 0 : headerText.mid(space + 1, 3).toShort(&ok);
    return ok ? code : qint16{0};
}

} // namespace

std::optional<NamedProxy> namedProxy(SettingsStore &settings)
{
    const QString server = settings.value(kProxyServerValue).trimmed();
    if (server.isEmpty())
        return std::nullopt;
    // People write a proxy as "host", "host:port" or as a whole address.
    const QUrl address(server.contains(QLatin1String("://")) ? server
                                                             : QStringLiteral("http://") + server);
    NamedProxy proxy{address.host().isEmpty() ? server : address.host(), kDefaultProxyPort};
    bool ok = false;
    const uint port = settings.value(kProxyPortValue).trimmed().toUInt(&ok);
    if (ok && port > 0 && port <= 0xffff)
        proxy.port = static_cast<quint16>(port);
    else if (address.port() > 0)
        proxy.port = static_cast<quint16>(address.port());
    return proxy;
}

namespace {

// A proxy named in the settings is used for every request; without one the
// system's own proxy settings apply.
void chooseProxy(InetControl &control, SettingsStore &settings)
{
    const std::optional<NamedProxy> proxy = namedProxy(settings);
    if (!proxy) {
        control.setAccessType(InetControl::UseDefault);
        return;
    }
    control.setProxy(proxy->host, proxy->port);
    control.setAccessType(InetControl::NamedProxy);
}

// The address of a GET: the host and path, "?", then each pair as
// key=value, "&" between pairs, nothing encoded.
QString requestAddress(const QString &strURI, const QList<QPair<QString, QString>> &objFormData)
{
    QStringList pairs;
    for (const auto &[key, item] : objFormData)
        pairs << key + QLatin1Char('=') + item;
    return strURI + QLatin1Char('?') + pairs.join(QLatin1Char('&'));
}

} // namespace

webservice::webservice(const QString &host, const QString &appFolder, SettingsStore &settings)
    : strHost(host), m_appFolder(appFolder), m_settings(settings)
{}

response webservice::execute(const QString &strURI, const FormData &objFormData,
                             const StateListener &states, ImageReceiver *image)
{
    const QMetaObject::Connection listening =
        QObject::connect(&m_control, &InetControl::stateChanged, &m_control, states);
    const auto stopListening = qScopeGuard([&listening] { QObject::disconnect(listening); });
    chooseProxy(m_control, m_settings);
    m_control.setUrl(requestAddress(strURI, objFormData));
    m_control.setRequestTimeout(kRequestTimeoutSeconds);
    QByteArray start;
    const qint64 received = m_control.openUrl([&](QByteArrayView piece) {
        if (start.size() < kMessageBytesShown)
            start += piece.first(std::min(piece.size(), kMessageBytesShown - start.size()));
        return !image || statusCode(m_control.getHeader()) != 200 || image->add(piece);
    });
    response record;
    if (received > 0) {
        record.iResponseCode = statusCode(m_control.getHeader());
        record.strContent = QString::fromLocal8Bit(start);
    }
    // Also for an answer that counts as none for want of a body.
    record.statusLine = QString::fromLatin1(m_control.getHeader().split('\r').constFirst());
    if (m_control.proxyAskedForLogin())
        record.problem = QStringLiteral("The proxy server asked for a login (407)");
    return record;
}

response webservice::ping(const StateListener &states)
{
    return execute(strHost + QStringLiteral("/ws/ping.asp"), FormData(), states);
}

response webservice::UpdateDevice(const QString &strSystemNo, const StateListener &states)
{
    const FormData objFormData{{QStringLiteral("SystemCodeString"), strSystemNo}};
    // The image's file goes with the receiver unless the image came whole.
    ImageReceiver image(m_appFolder);
    response record =
        execute(strHost + QStringLiteral("/ws/updatedevice.asp"), objFormData, states, &image);
    // An image that cannot be kept (a full disk) ends its transfer as failed.
    if (record.iResponseCode == 0 && record.problem.isEmpty())
        record.problem = image.error();
    if (record.iResponseCode != 200)
        return record;
    // Whatever the device is given must be a whole image: a damaged or cut
    // answer is worth another try, never a flash.
    record.objDF = image.finish(m_control.getHeader("REGEND"), &record.problem);
    return record;
}

} // namespace brimo

#include "webservice/webservice.h"

#include "image/devicefile.h"
#include "platform/inetcontrol.h"
#include "platform/reporter.h"

#include <QMetaType>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace brimo {

namespace {

// The vendor's service host. It does not resolve outside the vendor's own
// network setup; $BRIMO_SERVICE_HOST points the utility elsewhere.
constexpr char kDefaultHost[] = "updates.brimo.example";
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

bool isObject(const QVariant &item)
{
    return item.metaType().flags().testFlag(QMetaType::PointerToQObject);
}

QString itemText(const QVariant &item)
{
    if (item.metaType().id() == QMetaType::Bool)
        return item.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return item.toString();
}

// A proxy named in the settings is used for every request; without one the
// system's own proxy settings apply.
void chooseProxy(InetControl &control, const webservice::Proxy &proxy)
{
    const QString server = proxy.server.trimmed();
    if (server.isEmpty()) {
        control.setAccessType(InetControl::UseDefault);
        return;
    }
    // People write a proxy as "host", "host:port" or as a whole address.
    const QUrl address(server.contains(QLatin1String("://")) ? server
                                                             : QStringLiteral("http://") + server);
    const QString host = address.host().isEmpty() ? server : address.host();
    bool ok = false;
    const uint port = proxy.port.trimmed().toUInt(&ok);
    quint16 chosen = kDefaultProxyPort;
    if (ok && port > 0 && port <= 0xffff)
        chosen = static_cast<quint16>(port);
    else if (address.port() > 0)
        chosen = static_cast<quint16>(address.port());
    control.setProxy(host, chosen);
    control.setAccessType(InetControl::NamedProxy);
}

} // namespace

webservice::webservice(Reporter &report, const QString &appFolder)
    : m_report(report), m_appFolder(appFolder)
{
    const QString host = qEnvironmentVariable("BRIMO_SERVICE_HOST").trimmed();
    strHost = host.isEmpty() ? QString::fromLatin1(kDefaultHost) : host;
    QObject::connect(&m_control, &InetControl::stateChanged, &m_control,
                     [this](qint16 state) { m_report.transferState(state); });
}

QString webservice::requestAddress(const QString &strURI, const FormData &objFormData)
{
    QStringList pairs;
    for (const auto &[key, item] : objFormData) {
        if (!isObject(item))
            pairs << key + QLatin1Char('=') + itemText(item);
    }
    return strURI + QLatin1Char('?') + pairs.join(QLatin1Char('&'));
}

response webservice::execute(const QString &strURI, const FormData &objFormData,
                             ImageReceiver *image)
{
    chooseProxy(m_control, m_proxy);
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
    return record;
}

QString webservice::ping()
{
    const bool answered =
        execute(strHost + QStringLiteral("/ws/ping.asp"), FormData()).iResponseCode == 200;
    return answered ? QStringLiteral("True") : QStringLiteral("False");
}

response webservice::UpdateDevice(const QString &strSystemNo)
{
    FormData objFormData;
    objFormData.append({QStringLiteral("SystemCodeString"), strSystemNo});
    ImageReceiver image(m_appFolder);
    m_receiving = &image;
    response record =
        execute(strHost + QStringLiteral("/ws/updatedevice.asp"), objFormData, &image);
    m_receiving = nullptr;
    // An image that cannot be kept (a full disk) ends its transfer as failed.
    if (record.iResponseCode == 0 && !image.error().isEmpty())
        m_report.addText(image.error());
    if (record.iResponseCode != 200)
        return record;
    // Whatever the device is given must be a whole image: a damaged or cut
    // answer is worth another try, never a flash.
    QString problem;
    record.objDF = image.finish(m_control.getHeader("REGEND"), &problem);
    if (!record.objDF)
        m_report.addText(problem);
    return record;
}

} // namespace brimo

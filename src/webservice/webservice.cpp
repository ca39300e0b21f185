#include "webservice/webservice.h"

#include "image/imagecheck.h"
#include "platform/inetcontrol.h"
#include "platform/reporter.h"
#include "webservice/statuscode.h"

#include <QMetaType>
#include <QStringList>
#include <QUrl>

namespace brimo {

namespace {

// The vendor's service host. It does not resolve outside the vendor's own
// network setup; $BRIMO_SERVICE_HOST points the utility elsewhere.
constexpr char kDefaultHost[] = "updates.brimo.example";
constexpr int kServicePort = 80;
constexpr int kRequestTimeoutSeconds = 12000;
// The usual port of an HTTP proxy, used when neither the stored "ProxyPort"
// nor the server text names a port: the settings dialog takes both as free
// text.
constexpr quint16 kDefaultProxyPort = 8080;
// The window shows a few hundred characters of the service's message at most
// and says when it cut one; text is made of this much of it only, so that an
// answer near the size limit is not copied into a text twice its size.
constexpr qsizetype kMessageBytesShown = 4096;

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

QByteArray webservice::fetch(const QString &strURI, const FormData &objFormData)
{
    chooseProxy(m_control, m_proxy);
    m_control.setUrl(requestAddress(strURI, objFormData));
    m_control.setRemotePort(kServicePort);
    m_control.setRequestTimeout(kRequestTimeoutSeconds);
    return m_control.openUrl();
}

response webservice::execute(const QString &strURI, const FormData &objFormData)
{
    return recordOf(fetch(strURI, objFormData));
}

// An answer without a body counts as none.
response webservice::recordOf(const QByteArray &body) const
{
    response record;
    if (!body.isEmpty()) {
        record.iResponseCode = statusCode(m_control.getHeader());
        record.strContent = QString::fromLocal8Bit(body.left(kMessageBytesShown));
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
    const QByteArray body = fetch(strHost + QStringLiteral("/ws/updatedevice.asp"), objFormData);
    response record = recordOf(body);
    if (record.iResponseCode != 200)
        return record;
    // Whatever the device is given must be a whole image: a damaged or cut
    // answer is worth another try, never a flash.
    const QByteArray regEnd = m_control.getHeader("REGEND");
    const QString problem = imageProblem(body, regEnd);
    if (!problem.isEmpty()) {
        m_report.addText(problem);
        return record;
    }
    record.objDF.emplace(body, regEnd);
    return record;
}

} // namespace brimo

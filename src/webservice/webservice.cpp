#include "webservice/webservice.h"

#include "image/devicefile.h"
#include "image/imagecheck.h"
#include "platform/inetcontrol.h"
#include "platform/windowlink.h"
#include "settings/registry.h"
#include "webservice/statuscode.h"

#include <QCoreApplication>
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

// A proxy stored in the settings is used for every request; without one the
// system's own proxy settings apply. Read each time, so a change made in the
// settings dialog counts from the next request on.
void chooseProxy(InetControl &control)
{
    const QString server = storedSetting(kProxyServerValue).trimmed();
    if (server.isEmpty()) {
        control.setAccessType(InetControl::UseDefault);
        return;
    }
    // People write a proxy as "host", "host:port" or as a whole address.
    const QUrl address(server.contains(QLatin1String("://")) ? server
                                                             : QStringLiteral("http://") + server);
    const QString host = address.host().isEmpty() ? server : address.host();
    bool ok = false;
    const uint port = storedSetting(kProxyPortValue).trimmed().toUInt(&ok);
    quint16 chosen = kDefaultProxyPort;
    if (ok && port > 0 && port <= 0xffff)
        chosen = static_cast<quint16>(port);
    else if (address.port() > 0)
        chosen = static_cast<quint16>(address.port());
    control.setProxy(host, chosen);
    control.setAccessType(InetControl::NamedProxy);
}

} // namespace

webservice::webservice(WindowLink &window) : m_window(window)
{
    const QString host = qEnvironmentVariable("BRIMO_SERVICE_HOST").trimmed();
    strHost = host.isEmpty() ? QString::fromLatin1(kDefaultHost) : host;
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

std::shared_ptr<response> webservice::execute(const QString &strURI, const FormData &objFormData)
{
    InetControl &control = m_window.internetControl();
    control.setProtocol(InetControl::Http);
    chooseProxy(control);
    control.setUrl(requestAddress(strURI, objFormData));
    control.setRemotePort(kServicePort);
    control.setRequestTimeout(kRequestTimeoutSeconds);
    const QByteArray body = control.openUrl();
    while (control.stillExecuting())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    auto record = std::make_shared<response>();
    if (!body.isEmpty()) {
        record->iResponseCode = statusCode(control.getHeader());
        record->strRegEnd = control.getHeader("REGEND");
        // Both fields share the one buffer until one of them is changed.
        record->strBody = body;
        record->strContent = body;
    }
    return record;
}

QString webservice::ping()
{
    strPath = QStringLiteral("/ws/ping.asp");
    objResponse = execute(strHost + strPath, FormData());
    return objResponse->iResponseCode == 200 ? QStringLiteral("True") : QStringLiteral("False");
}

webservice::UpdateResult webservice::UpdateDevice(const QString &strSystemNo, deviceFile &objDF)
{
    strPath = QStringLiteral("/ws/updatedevice.asp");
    FormData objFormData;
    objFormData.append({QStringLiteral("SystemCodeString"), strSystemNo});
    objResponse = execute(strHost + strPath, objFormData);
    if (objResponse->iResponseCode == 500) {
        m_window.showCritical(
            QString::fromLocal8Bit(objResponse->strContent.left(kMessageBytesShown)));
        return Refused;
    }
    if (objResponse->iResponseCode != 200)
        return NoImage;
    // Whatever the device is given must be a whole image: a damaged or cut
    // answer is worth another try, never a flash.
    const QString problem = imageProblem(objResponse->strBody, objResponse->strRegEnd);
    if (!problem.isEmpty()) {
        m_window.addText(problem);
        return NoImage;
    }
    objDF.strRegEnd = objResponse->strRegEnd;
    objDF.load(objResponse->strBody, true);
    return ImageLoaded;
}

} // namespace brimo

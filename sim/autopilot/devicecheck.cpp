#include "devicecheck.h"

#include "devicecontrol.h"
#include "flashcheck.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <QUrlQuery>

namespace brimo::sim {
namespace {

constexpr int kFetchTimeoutMs = 60000;

struct ServedImage {
    QByteArray text;
    QByteArray regend;
    QString error;
};

// The image as the service serves it to anyone asking for this system number.
ServedImage fetchImage(const QString &serviceHost, const QByteArray &systemNumber)
{
    QUrl url(QStringLiteral("http://%1/ws/updatedevice.asp").arg(serviceHost));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("SystemCodeString"), QString::fromLatin1(systemNumber));
    url.setQuery(query);

    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkReply *reply = network.get(QNetworkRequest(url));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kFetchTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();

    ServedImage image;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!reply->isFinished())
        image.error = QStringLiteral("no answer from %1").arg(url.toString());
    else if (status != 200)
        image.error = QStringLiteral("%1 answered %2: %3")
                          .arg(url.toString())
                          .arg(status)
                          .arg(reply->errorString());
    image.text = reply->readAll();
    image.regend = reply->rawHeader("REGEND").trimmed();
    reply->abort();
    delete reply;
    return image;
}

// Exactly one write, and the device still names itself by its own number.
QStringList statusProblems(const DeviceControl &device, const QByteArray &systemNumber)
{
    QString error;
    const QMap<QString, QString> status = device.status(&error);
    if (status.isEmpty())
        return {QStringLiteral("the device gives no status: ") + error};
    QStringList problems;
    if (status.value(QStringLiteral("writes")) != QLatin1String("1"))
        problems << QStringLiteral("the device counts %1 flash writes, not 1")
                        .arg(status.value(QStringLiteral("writes"), QStringLiteral("no")));
    if (status.value(QStringLiteral("system")).toLatin1() != systemNumber)
        problems << QStringLiteral("the device now names itself '%1', not '%2'")
                        .arg(status.value(QStringLiteral("system")),
                             QString::fromLatin1(systemNumber));
    return problems;
}

} // namespace

DeviceVerdict checkDevice(const DeviceControl &device, const QString &flashFile,
                          const QString &serviceHost, const QByteArray &systemNumber)
{
    DeviceVerdict verdict;
    verdict.lines = statusProblems(device, systemNumber);

    const ServedImage image = fetchImage(serviceHost, systemNumber);
    if (!image.error.isEmpty()) {
        verdict.lines << image.error;
        return verdict;
    }
    QFile file(flashFile);
    if (!file.open(QIODevice::ReadOnly)) {
        verdict.lines << flashFile + QStringLiteral(": ") + file.errorString();
        return verdict;
    }
    const FlashCheck flash = checkFlash(file.readAll(), image.text, systemNumber, image.regend);
    verdict.lines << flash.problems;
    verdict.ok = verdict.lines.isEmpty() && flash.ok;
    if (verdict.ok)
        verdict.lines << QStringLiteral("the device holds the new image: %1 records of %2 bytes "
                                        "match its flash, identity %3 with tail %4 at 0x080010, "
                                        "1 flash write")
                             .arg(flash.recordsCompared)
                             .arg(image.text.size())
                             .arg(QString::fromLatin1(systemNumber),
                                  QString::fromLatin1(image.regend));
    return verdict;
}

} // namespace brimo::sim

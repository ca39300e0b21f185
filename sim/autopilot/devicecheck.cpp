#include "devicecheck.h"

#include "common/srec.h"

#include <QFile>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QTcpSocket>

namespace brimo::sim {
namespace {

constexpr int kTimeoutMs = 30000;
constexpr int kMostProblems = 5;

// Sends `bytes` to "HOST:PORT" and reads until the peer closes, or with
// `oneLine` until the first line is in.
QByteArray exchange(const QString &address, const QByteArray &bytes, bool oneLine)
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(address.section(u':', 0, 0), address.section(u':', 1).toUShort());
    socket.write(bytes);
    while (socket.waitForReadyRead(kTimeoutMs) && !(oneLine && socket.canReadLine())) {
    }
    return oneLine ? socket.readLine().trimmed() : socket.readAll();
}

QString hex(qint64 address)
{
    return QStringLiteral("0x%1").arg(address, 6, 16, QLatin1Char('0'));
}

// What differs between the image's data records and the flash.
QStringList compare(const QByteArray &image, const QByteArray &flash, const QByteArray &identity)
{
    QStringList problems;
    int records = 0;
    for (const QByteArray &line : image.split('\n')) {
        SRecord record;
        if (!parseSRecord(line.trimmed(), &record, nullptr) || record.type < '1' ||
            record.type > '3')
            continue;
        ++records;
        const QByteArray expected = record.address == kIdentityAddress ? identity : record.data;
        if (flash.mid(record.address, expected.size()) != expected &&
            problems.size() < kMostProblems)
            problems << QStringLiteral("the flash differs from the record at %1")
                            .arg(hex(record.address));
    }
    if (records < 2 || !image.contains("\nS31500080010"))
        problems << QStringLiteral("the image served holds no data beside an identity record");
    return problems;
}

} // namespace

QString deviceCommand(const QString &device, const QString &command)
{
    return QString::fromUtf8(exchange(device, command.toUtf8() + '\n', true));
}

QString deviceStatus(const QString &device, const QString &key)
{
    static const QRegularExpression pair(QStringLiteral("(\\w+)=(\\S*)"));
    for (const auto &match : pair.globalMatch(deviceCommand(device, QStringLiteral("status")))) {
        if (match.captured(1) == key)
            return match.captured(2);
    }
    return {};
}

QStringList checkDevice(const QString &device, const QString &flashFile, const QString &service,
                        const QByteArray &systemNumber)
{
    QStringList problems;
    if (deviceStatus(device, QStringLiteral("writes")) != u"1")
        problems << QStringLiteral("the device has not had exactly one flash write");
    const QByteArray answer =
        exchange(service,
                 "GET /ws/updatedevice.asp?SystemCodeString=" + systemNumber +
                     " HTTP/1.1\r\nHost: " + service.toLatin1() + "\r\nConnection: close\r\n\r\n",
                 false);
    const qsizetype bodyAt = answer.indexOf("\r\n\r\n") + 4;
    static const QRegularExpression regendHeader(QStringLiteral("\r\nREGEND: ([0-9A-Fa-f]{16})\r"));
    const auto regend = regendHeader.match(QString::fromLatin1(answer.left(bodyAt)));
    QFile file(flashFile);
    if (!answer.startsWith("HTTP/1.1 200 ") || !regend.hasMatch())
        return problems << QStringLiteral("the service serves no image with a REGEND now");
    if (!file.open(QIODevice::ReadOnly))
        return problems << flashFile + QStringLiteral(": ") + file.errorString();
    const QByteArray identity = systemNumber + QByteArray::fromHex(regend.captured(1).toLatin1());
    return problems + compare(answer.mid(bodyAt), file.readAll(), identity);
}

} // namespace brimo::sim

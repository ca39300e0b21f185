#include "device.h"

#include "common/srec.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

namespace brimo::sim {
namespace {

constexpr int kFixIntervalMs = 1000;
constexpr qsizetype kLongestLine = 1024;
constexpr int kMostReadBytes = 1024;

// "$<body>*hh" with the XOR checksum of the body, and the line end.
QByteArray sentence(const QByteArray &body)
{
    quint8 sum = 0;
    for (char c : body)
        sum ^= static_cast<quint8>(c);
    return '$' + body + '*' + QByteArray::number(sum, 16).rightJustified(2, '0').toUpper() + "\r\n";
}

QByteArray fixAt(const QDateTime &utc)
{
    const QByteArray time = utc.toString(QStringLiteral("hhmmss.00")).toLatin1();
    const QByteArray date = utc.toString(QStringLiteral("ddMMyy")).toLatin1();
    const QByteArray where = "4807.0380,N,01131.0000,E";
    return sentence("GPGGA," + time + ',' + where + ",1,08,0.9,545.4,M,46.9,M,,") +
           sentence("GPGSA,A,3,04,05,09,12,17,24,25,29,,,,,1.8,0.9,1.5") +
           sentence("GPGSV,2,1,08,04,41,253,43,05,19,301,38,09,64,112,45,12,37,058,41") +
           sentence("GPGSV,2,2,08,17,22,145,36,24,55,208,44,25,12,318,31,29,70,034,47") +
           sentence("GPRMC," + time + ",A," + where + ",000.4,084.4," + date + ",003.1,W") +
           sentence("GPVTG,084.4,T,087.5,M,000.4,N,000.7,K");
}

QString printable(const QByteArray &bytes)
{
    QString text;
    for (char c : bytes)
        text += (c > ' ' && c < 0x7F) ? QChar::fromLatin1(c) : QChar(u'?');
    return text;
}

} // namespace

Device::Device(const QString &linkPath, QObject *parent) : QObject(parent), m_line(linkPath)
{
    m_nmea.setInterval(kFixIntervalMs);
    connect(&m_nmea, &QTimer::timeout, this, &Device::sendFix);
    connect(&m_line, &PtyLine::received, this, &Device::receive);
    connect(&m_line, &PtyLine::heldChanged, this, [this] {
        apply();
        emit changed();
    });
}

bool Device::start(const QString &flashPath, const QByteArray &systemNumber, const QByteArray &tail,
                   QString *error)
{
    m_flashPath = flashPath;
    QFile file(flashPath);
    if (!file.exists()) {
        m_flash = QByteArray(kFlashSize, '\xFF');
        m_flash.replace(kIdentityBlock, 16, "BRIMO IDENT 0100");
        m_flash.replace(kIdentityBlock + 16, 8, systemNumber);
        m_flash.replace(kIdentityBlock + 24, 8, tail);
        if (!store(m_flash, error))
            return false;
    } else if (file.open(QIODevice::ReadOnly)) {
        // A file of another size is taken as far as it goes; the rest reads erased.
        m_flash = file.read(kFlashSize).leftJustified(kFlashSize, '\xFF');
    } else {
        *error = flashPath + QStringLiteral(": ") + file.errorString();
        return false;
    }
    if (!m_line.open(error))
        return false;
    apply();
    return true;
}

QString Device::execute(const QString &command)
{
    const QStringList words = command.simplified().split(u' ', Qt::SkipEmptyParts);
    const QString value = words.value(1);
    if (words.size() == 2 && words[0] == u"mode" &&
        (value == u"normal" || value == u"dl" || value == u"camera"))
        return switchTo(value, m_powered);
    if (words.size() == 2 && words[0] == u"power" && (value == u"on" || value == u"off"))
        return switchTo(m_mode, value == u"on");
    if (words == QStringList{QStringLiteral("status")})
        return status();
    if (words == QStringList{QStringLiteral("quit")}) {
        emit quitRequested();
        return QStringLiteral("ok");
    }
    return QStringLiteral("error expected mode normal|dl|camera, power on|off, status or quit");
}

QString Device::status() const
{
    return QStringLiteral("mode=%1 power=%2 system=%3 tail=%4 writes=%5 records=%6 open=%7")
        .arg(m_mode, m_powered ? QStringLiteral("on") : QStringLiteral("off"),
             printable(m_flash.mid(kIdentityBlock + 16, 8)),
             QString::fromLatin1(m_flash.mid(kIdentityBlock + 24, 8).toHex().toUpper()))
        .arg(m_writes)
        .arg(m_records)
        .arg(m_line.isHeld() ? QStringLiteral("yes") : QStringLiteral("no"));
}

QString Device::switchTo(const QString &mode, bool powered)
{
    if (mode != m_mode || powered != m_powered) {
        m_mode = mode;
        m_powered = powered;
        // What was sent in the old state must not reach the next reader.
        m_line.discard();
        apply();
        emit changed();
    }
    return QStringLiteral("ok");
}

// A program that opens the port in NORMAL mode gets a fresh fix at once; a
// write session lasts only as long as the tool holds the port in D/L mode.
void Device::apply()
{
    const bool listening = m_powered && m_line.isHeld();
    if (!listening || m_mode != u"normal")
        m_nmea.stop();
    else if (!m_nmea.isActive()) {
        m_nmea.start();
        sendFix();
    }
    if (!listening || m_mode != u"dl") {
        m_input.clear();
        m_session.reset();
    }
}

void Device::sendFix()
{
    m_line.send(fixAt(QDateTime::currentDateTimeUtc()));
}

void Device::receive(const QByteArray &bytes)
{
    if (!m_powered || m_mode != u"dl")
        return; // the receiver ignores the line in these states
    m_input += bytes;
    qsizetype start = 0;
    for (qsizetype end; (end = m_input.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArray reply = answer(m_input.mid(start, end - start).trimmed());
        if (!reply.isEmpty())
            m_line.send(reply + "\r\n");
    }
    m_input.remove(0, start);
    if (m_input.size() > kLongestLine)
        m_input.clear();
}

QByteArray Device::answer(const QByteArray &line)
{
    if (m_session && line.startsWith('S')) {
        take(line);
        return {};
    }
    const QList<QByteArray> words = line.split(' ');
    if (words.size() == 3 && words[0] == "READ")
        return read(words);
    if (line == "WRITE") {
        m_session = m_flash;
        m_sessionRecords = 0;
        m_sessionError.clear();
        return "OK";
    }
    if (line == "COMMIT" && m_session)
        return commit();
    return line.isEmpty() ? QByteArray() : QByteArray("ERR unknown command");
}

QByteArray Device::read(const QList<QByteArray> &words) const
{
    bool hex = false;
    bool decimal = false;
    const qint64 address = words[1].toLongLong(&hex, 16);
    const qint64 length = words[2].toLongLong(&decimal);
    if (!hex || !decimal || address < 0 || length < 0 || length > kMostReadBytes ||
        address + length > kFlashSize)
        return "ERR bad read";
    return "DATA " + m_flash.mid(address, length).toHex().toUpper();
}

// The first bad record spoils the session; the rest of it is only counted.
void Device::take(const QByteArray &line)
{
    SRecord record;
    QString why;
    if (!m_sessionError.isEmpty())
        return;
    if (!parseSRecord(line, &record, &why))
        m_sessionError = why.toUtf8();
    else if (record.type < '1' || record.type > '3')
        return;
    else if (record.address + static_cast<quint64>(record.data.size()) > kFlashSize)
        m_sessionError = "record outside the flash";
    else {
        m_session->replace(record.address, record.data.size(), record.data);
        ++m_sessionRecords;
    }
}

QByteArray Device::commit()
{
    const QByteArray written = *m_session;
    m_session.reset();
    QString error;
    if (!m_sessionError.isEmpty())
        return "ERR " + m_sessionError;
    if (!store(written, &error))
        return "ERR cannot store the flash: " + error.toUtf8();
    m_flash = written;
    ++m_writes;
    m_records = m_sessionRecords;
    emit changed();
    return "OK " + QByteArray::number(m_records);
}

// The file is replaced in one step: a reader never sees half a flash.
bool Device::store(const QByteArray &flash, QString *error)
{
    QSaveFile file(m_flashPath);
    if (file.open(QIODevice::WriteOnly) && file.write(flash) == flash.size() && file.commit())
        return true;
    *error = m_flashPath + QStringLiteral(": ") + file.errorString();
    return false;
}

} // namespace brimo::sim

#include "flashrun.h"

#include "common/srec.h"
#include "platform/comport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSerialPort>
#include <QThread>

#include <cstdio>

namespace brimo::sim {
namespace {

enum Exit { kDone = 0, kUsage = 2, kNoDevice = 3, kBadImage = 4, kTransfer = 5, kFile = 6 };

// A device in D/L mode answers at once; storing a whole image takes longer.
constexpr int kAnswerMs = 2000;
constexpr int kStoreMs = 30000;
constexpr quint64 kFlashSize = 0x100000;
constexpr int kPollMs = 10;

// COM n as the utility finds it: the links in $BRIMO_COM_DIR, else Wine's.
QString comFolder()
{
    const QString named = qEnvironmentVariable("BRIMO_COM_DIR");
    if (!named.isEmpty())
        return named;
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    return (prefix.isEmpty() ? QDir::homePath() + QStringLiteral("/.wine") : prefix) +
           QStringLiteral("/dosdevices");
}

int complain(int code, const QString &message)
{
    std::fprintf(stderr, "sirfflashcl: %s\n", qPrintable(message));
    return code;
}

// The COM port of one of the two command lines, or 0 for anything else.
int commandPort(const QStringList &arguments, bool *write)
{
    static const QStringList readTail = {QStringLiteral("-r"), QStringLiteral("-f"),
                                         QStringLiteral("0x080000"), QStringLiteral("-t"),
                                         QStringLiteral("0x080020")};
    static const QStringList writeTail = {QStringLiteral("-o"), QStringLiteral("0"),
                                          QStringLiteral("-c"), QStringLiteral("0")};
    static const QRegularExpression number(QStringLiteral("^[1-9][0-9]{0,2}$"));
    const QStringList head = {QStringLiteral("-b"), QStringLiteral("57600"), QStringLiteral("-l")};
    if (arguments.size() < 5 || arguments[0].isEmpty() || arguments.mid(1, 3) != head ||
        !number.match(arguments[4]).hasMatch())
        return 0;
    *write = arguments.mid(5) == writeTail;
    return *write || arguments.mid(5) == readTail ? arguments[4].toInt() : 0;
}

// The data records of an image, every record checked before anything is
// sent; empty with "line N: why" at the first bad one.
QList<QByteArray> dataRecords(const QByteArray &image, QString *error)
{
    QList<QByteArray> records;
    bool ended = false;
    const QList<QByteArray> lines = image.split('\n');
    for (qsizetype i = 0; i < lines.size() && error->isEmpty(); ++i) {
        const QByteArray line = lines[i].trimmed();
        SRecord record;
        QString why;
        if (line.isEmpty())
            continue;
        if (!parseSRecord(line, &record, &why))
            *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
        else if (ended)
            *error = QStringLiteral("line %1: a record after the end record").arg(i + 1);
        else if (record.address + static_cast<quint64>(record.data.size()) > kFlashSize)
            *error = QStringLiteral("line %1: address outside the 1 MiB flash").arg(i + 1);
        else if (record.type >= '1' && record.type <= '3')
            records << line;
        ended = record.type >= '7';
    }
    if (records.isEmpty() && error->isEmpty())
        *error = QStringLiteral("the image holds no data records");
    return error->isEmpty() ? records : QList<QByteArray>();
}

// What has arrived, after waiting at most `timeoutMs` for it. The port is
// read as the event loop delivers its input, not through waitForReadyRead(),
// which under Wine never sees the input of a pseudo-terminal.
QByteArray readSome(QSerialPort &port, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray bytes;
    while (bytes.isEmpty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        bytes = port.readAll();
        if (bytes.isEmpty())
            QThread::msleep(kPollMs);
    }
    return bytes;
}

// Sends one request and returns the answer: the first line that begins with
// `expected` or "ERR"; NMEA or anything else left in the line is skipped.
// Empty when no answer comes in time.
QByteArray ask(QSerialPort &port, const QByteArray &request, const char *expected, int timeoutMs)
{
    port.write(request + "\r\n");
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray input;
    while (!deadline.hasExpired()) {
        input += readSome(port, static_cast<int>(deadline.remainingTime()));
        for (qsizetype end; (end = input.indexOf('\n')) >= 0; input.remove(0, end + 1)) {
            const QByteArray answer = input.left(end).trimmed();
            if (answer.startsWith(expected) || answer.startsWith("ERR"))
                return answer;
        }
    }
    return {};
}

int readIdentity(QSerialPort &port, const QString &file)
{
    const QByteArray answer = ask(port, "READ 080000 32", "DATA ", kAnswerMs);
    const QByteArray block = QByteArray::fromHex(answer.mid(5));
    if (answer.isEmpty())
        return kNoDevice;
    if (!answer.startsWith("DATA ") || block.size() != 32)
        return complain(kTransfer, QStringLiteral("the device answered ") + answer);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(block) != block.size())
        return complain(kFile, file + QStringLiteral(": ") + out.errorString());
    return kDone;
}

int writeImage(QSerialPort &port, const QList<QByteArray> &records)
{
    if (ask(port, "WRITE", "OK", kAnswerMs) != "OK")
        return kNoDevice;
    port.write(records.join("\r\n") + "\r\n");
    const QByteArray answer = ask(port, "COMMIT", "OK ", kStoreMs);
    if (!answer.startsWith("OK "))
        return complain(kTransfer, QStringLiteral("the device did not take the image: ") +
                                       (answer.isEmpty() ? QByteArray("no answer") : answer));
    std::printf("wrote %lld records\n", static_cast<long long>(records.size()));
    return kDone;
}

} // namespace

int runFlashTool(const QStringList &arguments)
{
    bool write = false;
    const int number = commandPort(arguments, &write);
    if (number == 0)
        return complain(kUsage, QStringLiteral("usage: sirfflashcl.exe FILE -b 57600 -l PORT "
                                               "(-r -f 0x080000 -t 0x080020 | -o 0 -c 0)"));
    QList<QByteArray> records;
    QString error;
    if (write) {
        QFile file(arguments[0]);
        if (!file.open(QIODevice::ReadOnly))
            return complain(kFile, arguments[0] + QStringLiteral(": ") + file.errorString());
        records = dataRecords(file.readAll(), &error);
        if (records.isEmpty())
            return complain(kBadImage, arguments[0] + QStringLiteral(", ") + error);
    }
    QSerialPort port(comPortSystemName(number, comFolder()));
    port.setBaudRate(57600); // nothing to a pseudo-terminal, kept for a real line
    if (!port.open(QIODevice::ReadWrite))
        return complain(kNoDevice, QStringLiteral("cannot open COM%1 (%2): %3")
                                       .arg(number)
                                       .arg(port.portName(), port.errorString()));
    port.clear();
    const int code = write ? writeImage(port, records) : readIdentity(port, arguments[0]);
    if (code == kNoDevice)
        complain(code, QStringLiteral("no answer on COM%1: the device must be powered and in "
                                      "its D/L mode")
                           .arg(number));
    return code;
}

} // namespace brimo::sim

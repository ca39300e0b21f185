// The simulated device, its panel and the stand-in flash tool tell the truth:
// what the utility's own tests take on trust from them.
#include "apptestfolder.h"
#include "common/flashframe.h"
#include "common/srec.h"
#include "devicepanel.h"
#include "devsimprocess.h"
#include "simdevice.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRadioButton>
#include <QSerialPort>
#include <QTest>

using namespace brimo::sim;
using namespace brimo::sim::flash;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// "$BODY*HH\r", HH the exclusive or of the bytes of BODY.
bool checksumIsRight(const QByteArray &sentence)
{
    quint8 sum = 0;
    for (char c : sentence.mid(1, sentence.size() - 5))
        sum ^= static_cast<quint8>(c);
    const QByteArray end = '*' + QByteArray(1, static_cast<char>(sum)).toHex().toUpper() + '\r';
    return sentence.startsWith('$') && sentence.endsWith(end);
}

// Opens the device's port as the utility does; collects what arrives and when
// each sentence began.
struct PortReader : QObject {
    explicit PortReader(const QString &link) : port(QFileInfo(link).symLinkTarget())
    {
        connect(&port, &QSerialPort::readyRead, this, [this] {
            for (char c : port.readAll()) {
                if (c == '$')
                    starts << clock.elapsed();
                received += c;
            }
        });
        clock.start();
        port.open(QIODevice::ReadWrite);
    }
    QSerialPort port;
    QElapsedTimer clock;
    QByteArray received;
    QList<qint64> starts;
};

QStringList toolLine(const QString &file, int port, bool write)
{
    return QStringList{file, "-b", "57600", "-l", QString::number(port)} +
           (write ? QStringList{"-o", "0", "-c", "0"}
                  : QStringList{"-r", "-f", "0x080000", "-t", "0x080020"});
}

// A device in D/L on COM3 and an application folder with the flash tool.
struct ToolBench {
    struct Run {
        int exitCode = -2; // -1: crashed
        qint64 elapsedMs = 0;
        QByteArray errors;
    };
    ToolBench() { qputenv("BRIMO_COM_DIR", device.comDir().toUtf8()); }
    Run run(const QStringList &arguments) const
    {
        QProcess process;
        QElapsedTimer clock;
        clock.start();
        process.start(app.toolPath(), arguments);
        if (!process.waitForFinished(20000))
            return {};
        return {process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode(),
                clock.elapsed(), process.readAllStandardError()};
    }
    DevSimProcess device{3, {"--mode", "dl"}};
    AppTestFolder app;
    QString file = app.workFilePath();
};

} // namespace

class DevSimTest : public QObject {
    Q_OBJECT

private slots:
    void streamsValidSentencesOftenEnough()
    {
        DevSimProcess device(3);
        QVERIFY2(device.isReady(), qPrintable(device.errorText()));
        PortReader reader(device.linkPath());
        QTRY_VERIFY_WITH_TIMEOUT(reader.starts.size() >= 15, 5000);
        for (const QByteArray &sentence : reader.received.split('\n').mid(0, 14))
            QVERIFY2(checksumIsRight(sentence), sentence.constData());
        qint64 widestGap = 0;
        for (qsizetype i = 1; i < reader.starts.size(); ++i)
            widestGap = qMax(widestGap, reader.starts.at(i) - reader.starts.at(i - 1));
        QVERIFY2(widestGap <= 250, qPrintable(QString::number(widestGap))); // 143 ms plus load
        const qint64 fourteen = reader.starts.at(14) - reader.starts.at(0); // seven a second
        QVERIFY2(fourteen >= 1800 && fourteen <= 2400, qPrintable(QString::number(fourteen)));
    }

    void isSilentOutsideNormalMode_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("D/L") << QStringList{"mode dl"};
        QTest::newRow("camera") << QStringList{"mode camera"};
        QTest::newRow("power off") << QStringList{"power off"};
        QTest::newRow("on again in camera") << QStringList{"power off", "mode camera", "power on"};
    }

    void isSilentOutsideNormalMode()
    {
        QFETCH(QStringList, commands);
        DevSimProcess device(4);
        QVERIFY(device.isReady());
        {
            PortReader before(device.linkPath());
            QTRY_VERIFY(!before.received.isEmpty());
        } // what it was sent before the switch is stale now
        for (const QString &command : commands)
            QCOMPARE(device.send(command), QStringLiteral("ok"));
        PortReader after(device.linkPath());
        QVERIFY(after.port.isOpen());
        QTest::qWait(600); // long enough for several sentences
        QCOMPARE(after.received, QByteArray());
    }

    void unplugHangsUpAndPlugComesBack()
    {
        DevSimProcess device(8);
        QVERIFY(device.isReady());
        PortReader reader(device.linkPath());
        QTRY_VERIFY(!reader.received.isEmpty());
        QCOMPARE(device.send("unplug"), QStringLiteral("ok"));
        QVERIFY(!QFileInfo(device.linkPath()).isSymLink());
        QTRY_VERIFY(reader.port.error() != QSerialPort::NoError); // as a pulled adapter
        QCOMPARE(device.send("plug"), QStringLiteral("ok"));
        PortReader again(device.linkPath());
        QTRY_VERIFY(again.received.count('\n') >= 2);
    }

    void panelDrivesTheDevice()
    {
        QTemporaryDir dir;
        SimDevice device(dir.filePath("com3"));
        QString error;
        QVERIFY2(device.start(dir.filePath("flash"), "PANEL001", QByteArray(8, '\0'), &error),
                 qPrintable(error));
        DevicePanel panel(device);
        panel.show();
        auto *download = panel.findChild<QRadioButton *>("modeDownload");
        auto *power = panel.findChild<QCheckBox *>("power");
        QVERIFY(download && power);
        QTest::mouseClick(download, Qt::LeftButton, {}, QPoint(4, download->height() / 2));
        QCOMPARE(device.mode(), SimDevice::Mode::Download);
        power->click();
        QVERIFY(!device.isPowered());
        QCOMPARE(device.execute("power on"), QStringLiteral("ok"));
        QVERIFY(power->isChecked());
    }

    void decoderRejectsEveryChangedByte()
    {
        const QByteArray frame =
            encodeFrame(Command::Write, QByteArray::fromHex("00080010") + "ZZ");
        for (qsizetype i = 1; i < frame.size(); ++i) {
            QByteArray damaged = frame;
            damaged[i] = static_cast<char>(damaged.at(i) ^ 0x04);
            FrameDecoder decoder;
            decoder.feed(damaged);
            QVERIFY2(!decoder.next(), qPrintable(QStringLiteral("byte %1").arg(i)));
        }
    }

    void changesTheFlashOnlyOnAValidCommit_data()
    {
        QTest::addColumn<QByteArray>("commit"); // byte count, byte sum
        QTest::addColumn<bool>("resetFirst");   // the port closed or the mode switched
        QTest::addColumn<QByteArray>("reply");
        const QByteArray right = QByteArray::fromHex("0000000800000248");
        QTest::newRow("valid") << right << false << encodeFrame(Command::Ack, "\x05");
        QTest::newRow("wrong sum") << QByteArray::fromHex("0000000800000249") << false
                                   << encodeFrame(Command::Nak, "\x05\x05");
        QTest::newRow("cut short") << right << true << encodeFrame(Command::Nak, "\x05\x04");
    }

    void changesTheFlashOnlyOnAValidCommit()
    {
        QFETCH(QByteArray, commit);
        QFETCH(bool, resetFirst);
        QFETCH(QByteArray, reply);
        QTemporaryDir dir;
        FlashMemory memory;
        QString error;
        QVERIFY2(memory.open(dir.filePath("flash"), "AB12CD34", QByteArray(8, '\0'), &error),
                 qPrintable(error));
        FlashResponder responder(memory);
        responder.receive(
            encodeFrame(Command::Begin, QByteArray::fromHex("00000002")) +
            encodeFrame(Command::Write, QByteArray::fromHex("00080010") + "ZZ99YY88"));
        QCOMPARE(memory.systemNumber(), QByteArrayLiteral("AB12CD34"));
        if (resetFirst)
            responder.reset();
        QCOMPARE(responder.receive(encodeFrame(Command::Commit, commit)).toHex(), reply.toHex());
        const QByteArray stored =
            reply == encodeFrame(Command::Ack, "\x05") ? "ZZ99YY88" : "AB12CD34";
        QCOMPARE(readFile(memory.path()).mid(0x80010, 8), stored);
    }

    void toolExitCode_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("command"); // to the device first
        QTest::addColumn<int>("exitCode");
        const QStringList read = toolLine("nf.dat", 3, false);
        const QStringList write = toolLine("nf.dat", 3, true);
        QTest::newRow("read") << read << "status" << 0;
        QTest::newRow("write") << write << "status" << 0;
        QTest::newRow("other speed")
            << QStringList(read).replaceInStrings("57600", "9600") << "status" << 2;
        QTest::newRow("leading zero")
            << QStringList(read).replaceInStrings("3", "03") << "status" << 2;
        QTest::newRow("other range")
            << QStringList(read).replaceInStrings("0x080020", "0x080021") << "status" << 2;
        QTest::newRow("extra argument") << read + QStringList{"-v"} << "status" << 2;
        QTest::newRow("write, other options") << (write.mid(0, 8) << "1") << "status" << 2;
        QTest::newRow("options reordered")
            << QStringList{"nf.dat", "-l", "3", "-b", "57600"} + read.mid(5) << "status" << 2;
        QTest::newRow("in NORMAL") << read << "mode normal" << 3;
        QTest::newRow("in camera") << read << "mode camera" << 3;
        QTest::newRow("power off") << write << "power off" << 3;
        QTest::newRow("no device on the port") << toolLine("nf.dat", 12, false) << "status" << 3;
    }

    void toolExitCode()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        ToolBench bench;
        QVERIFY(bench.device.isReady());
        QVERIFY(!bench.device.send(command).startsWith("error"));
        const QByteArray image = formatSRecord('3', kIdentityAddress, "ABCDEFGH");
        QVERIFY(writeFile(bench.file, image));
        arguments[0] = bench.file;
        const ToolBench::Run run = bench.run(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.errors.contains("usage:"), exitCode == 2);
        QCOMPARE(readFile(bench.file) == image, exitCode != 0 || arguments.contains("-o"));
        // Given up after a handshake time-out of about 2 s, at once where no device is.
        if (exitCode == 3)
            QVERIFY2(run.elapsedMs < 4000 && (arguments.at(4) != "3" || run.elapsedMs >= 1800),
                     qPrintable(QString::number(run.elapsedMs)));
    }

    void toolWritesTheImageRecordByRecord()
    {
        ToolBench bench;
        QVERIFY(bench.device.isReady());
        const QByteArray image =
            makeImage(600000, "QQ11RR22" + QByteArray::fromHex("0102030405060708"), 9);
        QVERIFY(writeFile(bench.file, image));
        QCOMPARE(bench.run(toolLine(bench.file, 3, true)).exitCode, 0);
        const QMap<QString, QString> status = bench.device.status();
        QCOMPARE(status.value("writes"), QStringLiteral("1"));
        QCOMPARE(status.value("records"), QString::number(image.count("\nS3")));
        const QByteArray flash = readFile(bench.device.flashPath());
        for (const QByteArray &line : image.split('\n')) {
            SRecord record;
            if (parseSRecord(line.trimmed(), &record, nullptr) && record.type == '3')
                QCOMPARE(flash.mid(record.address, record.data.size()), record.data);
        }
        QCOMPARE(flash.mid(0x90000), QByteArray(0x70000, '\xFF'));
    }

    void toolRejectsABadRecordBeforeWritingAnything_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("why");
        const QByteArray good = formatSRecord('3', 0x200, QByteArray(16, 'A'));
        QByteArray badSum = good;
        badSum.back() = badSum.back() == '0' ? '1' : '0';
        QTest::newRow("checksum") << badSum << "checksum";
        QTest::newRow("byte count") << QByteArray(good).replace(2, 2, "14") << "count";
        QTest::newRow("hex digit") << QByteArray(good).replace(20, 1, "G") << "hexadecimal";
        QTest::newRow("record type") << QByteArray(good).replace(1, 1, "4") << "type";
        QTest::newRow("outside the flash")
            << formatSRecord('3', 0xFFFF8, QByteArray(16, 'A')) << "outside";
    }

    void toolRejectsABadRecordBeforeWritingAnything()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, why);
        ToolBench bench;
        QVERIFY(bench.device.isReady());
        QByteArrayList lines = makeImage(2000, QByteArray(16, '\xFF')).split('\n');
        lines.insert(5, record + '\r');
        QVERIFY(writeFile(bench.file, lines.join('\n')));
        const QByteArray flashBefore = readFile(bench.device.flashPath());
        const ToolBench::Run run = bench.run(toolLine(bench.file, 3, true));
        QCOMPARE(run.exitCode, 4);
        QVERIFY2(run.errors.contains("line 6: ") && run.errors.contains(why.toUtf8()),
                 run.errors.constData());
        QCOMPARE(bench.device.status().value("writes"), QStringLiteral("0"));
        QVERIFY(readFile(bench.device.flashPath()) == flashBefore);
    }

    void toolTakesOneFaultPerRunFromTheFaultsFile()
    {
        ToolBench bench;
        QVERIFY(bench.device.isReady());
        bench.app.setFaults({"exit 7", "nofile", "emptyfile", "delay 600", "crash"});
        struct Expected {
            int exitCode; // -1: crashed
            int dumpSize; // -1: no file
            qint64 atLeastMs;
        };
        const Expected expected[] = {{7, -1, 0},   {0, -1, 0},  {0, 0, 0},
                                     {0, 32, 600}, {-1, -1, 0}, {0, 32, 0}};
        for (const Expected &want : expected) {
            QFile::remove(bench.file);
            const ToolBench::Run run = bench.run(toolLine(bench.file, 3, false));
            QCOMPARE(run.exitCode, want.exitCode);
            QCOMPARE(QFile::exists(bench.file) ? readFile(bench.file).size() : -1, want.dumpSize);
            QVERIFY(run.elapsedMs >= want.atLeastMs);
            QVERIFY(bench.app.logLines().last().endsWith(
                want.exitCode < 0 ? QStringLiteral("-> crash")
                                  : QStringLiteral("-> exit %1").arg(want.exitCode)));
        }
        QVERIFY(!QFile::exists(bench.app.filePath("sirfflashcl.faults")));
        QCOMPARE(bench.app.logLines().size(), 6);
    }
};

QTEST_MAIN(DevSimTest)
#include "tst_devsim.moc"

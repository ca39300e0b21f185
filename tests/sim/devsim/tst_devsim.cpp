// The simulated device as a running program: its serial line, its modes, its
// control socket and its flash file.
#include "common/flashframe.h"
#include "devsimprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTest>

#include <csignal>

namespace {

// Opens the port as the utility does and collects what arrives.
class PortReader : public QObject {
public:
    explicit PortReader(const QString &link) : m_port(QFileInfo(link).symLinkTarget())
    {
        connect(&m_port, &QSerialPort::readyRead, this, [this] {
            const QByteArray bytes = m_port.readAll();
            for (char c : bytes) {
                if (c == '$')
                    m_starts << m_clock.elapsed();
            }
            m_received += bytes;
        });
    }
    bool open()
    {
        m_clock.start();
        return m_port.open(QIODevice::ReadWrite);
    }
    QSerialPort &port() { return m_port; }
    QByteArray received() const { return m_received; }
    QList<qint64> sentenceStarts() const { return m_starts; }
    QList<QByteArray> sentences() const
    {
        QList<QByteArray> lines = m_received.split('\n');
        lines.removeLast(); // an unfinished sentence
        return lines;
    }

private:
    QSerialPort m_port;
    QElapsedTimer m_clock;
    QByteArray m_received;
    QList<qint64> m_starts;
};

bool checksumIsRight(const QByteArray &sentence)
{
    static const QRegularExpression form(QStringLiteral("^\\$([^*$]+)\\*([0-9A-F]{2})\\r$"));
    const auto match = form.match(QString::fromLatin1(sentence));
    if (!match.hasMatch())
        return false;
    quint8 sum = 0;
    for (QChar c : match.captured(1))
        sum ^= static_cast<quint8>(c.unicode());
    return match.captured(2).toUInt(nullptr, 16) == sum;
}

// Long enough for several sentences of a device that is streaming.
constexpr int kQuietWindowMs = 600;

} // namespace

class DevSimTest : public QObject {
    Q_OBJECT

private slots:
    void streamsSevenValidSentencesASecond()
    {
        DevSimProcess device(3);
        QVERIFY2(device.isReady(), qPrintable(device.errorText()));
        PortReader reader(device.linkPath());
        QVERIFY(reader.open());
        QTRY_VERIFY_WITH_TIMEOUT(reader.sentences().size() >= 15, 5000);

        const QList<QByteArray> sentences = reader.sentences().mid(0, 14);
        const QStringList order = {"GPGGA", "GPGSA", "GPGSV", "GPGSV", "GPGSV", "GPRMC", "GPVTG"};
        for (qsizetype i = 0; i < sentences.size(); ++i) {
            QVERIFY2(checksumIsRight(sentences.at(i)), sentences.at(i).constData());
            QCOMPARE(sentences.at(i).mid(1, 5), order.at(i % 7).toLatin1());
        }
        // The second fix is one second after the first.
        const QTime first = QTime::fromString(QString::fromLatin1(sentences.at(0).mid(7, 6)),
                                              QStringLiteral("hhmmss"));
        const QTime second = QTime::fromString(QString::fromLatin1(sentences.at(7).mid(7, 6)),
                                               QStringLiteral("hhmmss"));
        QCOMPARE(first.secsTo(second) % 86400, 1);

        const QList<qint64> starts = reader.sentenceStarts();
        qint64 widestGap = 0;
        for (qsizetype i = 1; i < starts.size(); ++i)
            widestGap = qMax(widestGap, starts.at(i) - starts.at(i - 1));
        QVERIFY2(widestGap <= 250, qPrintable(QString::number(widestGap))); // 143 ms plus load
        const qint64 fourteen = starts.at(14) - starts.at(0);
        QVERIFY2(fourteen >= 1800 && fourteen <= 2400, qPrintable(QString::number(fourteen)));
    }

    void isSilentOutsideNormalMode_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("D/L") << QStringList{"mode dl"};
        QTest::newRow("camera") << QStringList{"mode camera"};
        QTest::newRow("power off") << QStringList{"power off"};
        QTest::newRow("off, then on again in camera")
            << QStringList{"power off", "mode camera", "power on"};
    }

    void isSilentOutsideNormalMode()
    {
        QFETCH(QStringList, commands);
        DevSimProcess device(4);
        QVERIFY(device.isReady());
        PortReader reader(device.linkPath());
        QVERIFY(reader.open());
        QTRY_VERIFY(!reader.received().isEmpty());
        // What was sent before the switch is stale: the next opener gets none of it.
        reader.port().close();
        for (const QString &command : commands)
            QCOMPARE(device.send(command), QStringLiteral("ok"));
        PortReader after(device.linkPath());
        QVERIFY(after.open());
        QTest::qWait(kQuietWindowMs);
        QCOMPARE(after.received(), QByteArray());
    }

    void queuesNothingWhileThePortIsClosed()
    {
        DevSimProcess device(5);
        QVERIFY(device.isReady());
        {
            PortReader first(device.linkPath());
            QVERIFY(first.open());
            QTRY_VERIFY(first.received().size() > 200);
        } // closed while sentences keep coming
        QTRY_COMPARE(device.status().value("open"), QStringLiteral("no"));
        QTest::qWait(kQuietWindowMs);
        PortReader second(device.linkPath());
        QVERIFY(second.open());
        QTRY_VERIFY(second.sentences().size() >= 1);
        // Fresh data begins with a new fix, not with the tail of an old sentence.
        QVERIFY2(second.received().startsWith("$GPGGA,"), second.received().left(40).constData());
        const QTime sent = QTime::fromString(QString::fromLatin1(second.received().mid(7, 6)),
                                             QStringLiteral("hhmmss"));
        const int age = sent.secsTo(QDateTime::currentDateTimeUtc().time());
        QVERIFY2((age + 86400) % 86400 <= 2, qPrintable(QString::number(age)));
    }

    void controlCommandsAreCheckedAndApplied_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("mode dl") << "mode dl"
                                 << "ok"
                                 << "mode"
                                 << "dl";
        QTest::newRow("mode camera") << "mode camera"
                                     << "ok"
                                     << "mode"
                                     << "camera";
        QTest::newRow("power off") << "power off"
                                   << "ok"
                                   << "power"
                                   << "off";
        QTest::newRow("extra blanks") << "  mode   dl "
                                      << "ok"
                                      << "mode"
                                      << "dl";
        QTest::newRow("unknown mode") << "mode fast"
                                      << "error"
                                      << "mode"
                                      << "normal";
        QTest::newRow("upper case") << "MODE DL"
                                    << "error"
                                    << "mode"
                                    << "normal";
        QTest::newRow("power without state") << "power"
                                             << "error"
                                             << "power"
                                             << "on";
        QTest::newRow("unknown verb") << "reboot"
                                      << "error"
                                      << "mode"
                                      << "normal";
        QTest::newRow("empty line") << ""
                                    << "error"
                                    << "mode"
                                    << "normal";
    }

    void controlCommandsAreCheckedAndApplied()
    {
        QFETCH(QString, command);
        QFETCH(QString, reply);
        QFETCH(QString, key);
        QFETCH(QString, value);
        DevSimProcess device(6);
        QVERIFY(device.isReady());
        const QString answer = device.send(command);
        QVERIFY2(answer == reply || answer.startsWith(reply + u' '), qPrintable(answer));
        QCOMPARE(device.status().value(key), value);
    }

    void statusTellsTheIdentityFromTheOptions()
    {
        DevSimProcess device(7, {"--system-number", "ZX81QL10", "--tail", "8899aabbccddeeff",
                                 "--mode", "dl", "--power", "off"});
        QVERIFY(device.isReady());
        const QMap<QString, QString> status = device.status();
        QCOMPARE(status.value("system"), QStringLiteral("ZX81QL10"));
        QCOMPARE(status.value("tail"), QStringLiteral("8899AABBCCDDEEFF"));
        QCOMPARE(status.value("mode"), QStringLiteral("dl"));
        QCOMPARE(status.value("power"), QStringLiteral("off"));
        QCOMPARE(status.value("writes"), QStringLiteral("0"));
        QCOMPARE(status.value("plugged"), QStringLiteral("yes"));

        QFile flash(device.flashPath());
        QVERIFY(flash.open(QIODevice::ReadOnly));
        const QByteArray contents = flash.readAll();
        QCOMPARE(contents.size(), 0x100000);
        QCOMPARE(contents.mid(0x80010, 16),
                 QByteArray("ZX81QL10") + QByteArray::fromHex("8899AABBCCDDEEFF"));
        const QByteArray erased(0x80000, '\xFF');
        QVERIFY(contents.left(0x80000) == erased && contents.mid(0x80020) == erased.mid(32));
    }

    void keepsAnExistingFlashAcrossRestarts()
    {
        QTemporaryDir dir;
        {
            DevSimProcess first(3, {"--system-number", "FIRST001"}, dir.path());
            QVERIFY(first.isReady());
        }
        DevSimProcess second(3, {"--system-number", "SECOND02"}, dir.path());
        QVERIFY(second.isReady());
        QCOMPARE(second.status().value("system"), QStringLiteral("FIRST001"));
    }

    void rejectsBadOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no port") << QStringList{"--com-dir", "/tmp"};
        QTest::newRow("port zero") << QStringList{"--com-dir", "/tmp", "--port", "0"};
        QTest::newRow("port not a number") << QStringList{"--com-dir", "/tmp", "--port", "x"};
        QTest::newRow("short system number")
            << QStringList{"--com-dir", "/tmp", "--port", "3", "--system-number", "AB12"};
        QTest::newRow("tail not hex")
            << QStringList{"--com-dir", "/tmp", "--port", "3", "--tail", "00112233445566XY"};
        QTest::newRow("unknown mode")
            << QStringList{"--com-dir", "/tmp", "--port", "3", "--mode", "sleep"};
        QTest::newRow("unknown option") << QStringList{"--com-dir", "/tmp", "--port", "3", "-v"};
    }

    void rejectsBadOptions()
    {
        QFETCH(QStringList, arguments);
        QProcess process;
        process.start(QStringLiteral(BRIMO_APP_DIR "/brimo-devsim"), arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("usage"));
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }

    void unplugHangsUpAndPlugComesBack()
    {
        DevSimProcess device(8);
        QVERIFY(device.isReady());
        PortReader reader(device.linkPath());
        QVERIFY(reader.open());
        QTRY_VERIFY(!reader.received().isEmpty());

        QCOMPARE(device.send("unplug"), QStringLiteral("ok"));
        QVERIFY(!QFileInfo::exists(device.linkPath()) && !QFileInfo(device.linkPath()).isSymLink());
        // As a pulled adapter: the open port ends with an error (read or resource).
        QTRY_VERIFY(reader.port().error() != QSerialPort::NoError);
        QCOMPARE(device.status().value("plugged"), QStringLiteral("no"));

        QCOMPARE(device.send("plug"), QStringLiteral("ok"));
        QVERIFY(QFileInfo(device.linkPath()).isSymLink());
        PortReader again(device.linkPath());
        QVERIFY(again.open());
        QTRY_VERIFY(again.sentences().size() >= 2);
    }

    void leavesNothingBehindWhenItEnds_data()
    {
        QTest::addColumn<int>("how"); // 0: quit command, else the signal
        QTest::newRow("quit") << 0;
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void leavesNothingBehindWhenItEnds()
    {
        QFETCH(int, how);
        DevSimProcess device(9);
        QVERIFY(device.isReady());
        if (how == 0)
            QCOMPARE(device.send("quit"), QStringLiteral("ok"));
        else
            ::kill(static_cast<pid_t>(device.process().processId()), how);
        QVERIFY(device.process().waitForFinished(10000));
        QCOMPARE(device.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(device.process().exitCode(), 0);
        QVERIFY(!QFileInfo(device.linkPath()).isSymLink());
        QVERIFY(!QFileInfo::exists(device.controlPath()));
        QVERIFY(QFileInfo::exists(device.flashPath()));
    }

    void survivesGarbageOnTheLine()
    {
        DevSimProcess device(10, {"--mode", "dl"});
        QVERIFY(device.isReady());
        PortReader reader(device.linkPath());
        QVERIFY(reader.open());
        QByteArray noise;
        quint32 state = 7;
        for (int i = 0; i < 100000; ++i) {
            state = state * 1664525u + 1013904223u;
            noise.append(static_cast<char>(state >> 24));
        }
        reader.port().write(noise);
        QVERIFY(reader.port().waitForBytesWritten(5000));
        // A hello after the noise still gets its answer once the half frame is given up.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                reader.port().write(
                    brimo::sim::flash::encodeFrame(brimo::sim::flash::Command::Hello));
                QTest::qWait(100);
                return reader.received().contains(char(0x81));
            }(),
            5000);
        QCOMPARE(device.status().value("mode"), QStringLiteral("dl"));
    }

    void devicesShareAComFolder()
    {
        DevSimProcess first(3);
        DevSimProcess second(11, {"--system-number", "SECOND02"}, first.comDir());
        QVERIFY(first.isReady() && second.isReady());
        QVERIFY(QFileInfo(first.linkPath()).symLinkTarget() !=
                QFileInfo(second.linkPath()).symLinkTarget());
        QCOMPARE(second.status().value("system"), QStringLiteral("SECOND02"));
        QCOMPARE(first.status().value("system"), QStringLiteral("AB12CD34"));
    }
};

QTEST_GUILESS_MAIN(DevSimTest)
#include "tst_devsim.moc"

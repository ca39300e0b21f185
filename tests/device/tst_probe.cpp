#include "device/detect.h"
#include "platform/comport.h"
#include "platform/serialcontrol.h"

#include "ptyline.h"

#include <QtTest>

using namespace brimo;

namespace {

const QByteArray kSentence =
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

} // namespace

class TestProbe : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void comPortNameFollowsTheLink_data();
    void comPortNameFollowsTheLink();
    void lineSettingsReachTheLine_data();
    void lineSettingsReachTheLine();
    void pulledLineClosesThePort();
    void findsThePrefixOnlyAsSent_data();
    void findsThePrefixOnlyAsSent();
    void timeoutOfZeroOrLessDoesNotListen_data();
    void timeoutOfZeroOrLessDoesNotListen();
    void missingPortIsAbsentAfterTheTimeout_data();
    void missingPortIsAbsentAfterTheTimeout();
    void portLeftOpenIsClosedFirst();

private:
    QTemporaryDir m_comDir;
    SerialControl m_comm;
};

void TestProbe::initTestCase()
{
    QVERIFY(m_comDir.isValid());
    qputenv("BRIMO_COM_DIR", QFile::encodeName(m_comDir.path()));
    m_comm.setSettings(QStringLiteral("9600,N,8,1"));
}

void TestProbe::comPortNameFollowsTheLink_data()
{
    QTest::addColumn<QString>("comDir");
    QTest::addColumn<QString>("winePrefix");
    QTest::addColumn<QString>("linkFolder");
    QTest::addColumn<QString>("systemName");

    const QString target = QStringLiteral("/dev/ttyUSB7");
    QTest::newRow("named folder") << "named"
                                  << "wine"
                                  << "named" << target;
    QTest::newRow("Wine prefix") << ""
                                 << "wine"
                                 << "wine/dosdevices" << target;
    QTest::newRow("Wine in the home folder") << ""
                                             << ""
                                             << "home/.wine/dosdevices" << target;
    QTest::newRow("no link") << "named"
                             << ""
                             << "elsewhere"
                             << "/dev/ttyS1";
}

void TestProbe::comPortNameFollowsTheLink()
{
    QFETCH(QString, comDir);
    QFETCH(QString, winePrefix);
    QFETCH(QString, linkFolder);
    QFETCH(QString, systemName);

    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(linkFolder));
    QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB7"), root.filePath(linkFolder + "/com2")));
    const auto setOrUnset = [&root](const char *name, const QString &folder) {
        if (folder.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(root.filePath(folder)));
    };
    const QByteArray home = qgetenv("HOME");
    setOrUnset("BRIMO_COM_DIR", comDir);
    setOrUnset("WINEPREFIX", winePrefix);
    qputenv("HOME", QFile::encodeName(root.filePath("home")));

    const QString name = comPortSystemName(2);
    qputenv("HOME", home);
    qputenv("BRIMO_COM_DIR", QFile::encodeName(m_comDir.path()));
    QCOMPARE(name, systemName);
}

// A Linux pseudo-terminal keeps 8 data bits and drops the parity enable
// whatever is asked, so speed, stop bits and the odd-parity flag are what a
// test can see of the settings here.
void TestProbe::lineSettingsReachTheLine_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<tcflag_t>("flags");

    QTest::newRow("9600,N,8,1") << "9600,N,8,1" << speed_t(B9600) << tcflag_t(0);
    QTest::newRow("19200,E,7,2") << "19200,E,7,2" << speed_t(B19200) << tcflag_t(CSTOPB);
    QTest::newRow("4800,o,8,1") << "4800,o,8,1" << speed_t(B4800) << tcflag_t(PARODD);
    QTest::newRow("not numbers") << "fast,N,x,y" << speed_t(B9600) << tcflag_t(0);
}

void TestProbe::lineSettingsReachTheLine()
{
    QFETCH(QString, settings);
    QFETCH(speed_t, speed);
    QFETCH(tcflag_t, flags);

    PtyLine line(m_comDir.path(), 8);
    QVERIFY(line.isValid());
    SerialControl comm;
    comm.setSettings(settings);
    comm.setCommPort(8);
    comm.setPortOpen(true);
    QVERIFY(comm.portOpen());
    const termios now = line.settings();
    QCOMPARE(cfgetispeed(&now), speed);
    QCOMPARE(now.c_cflag & (PARODD | CSTOPB), flags);
}

void TestProbe::pulledLineClosesThePort()
{
    PtyLine line(m_comDir.path(), 9);
    QVERIFY(line.isValid());
    SerialControl comm;
    comm.setCommPort(9);
    comm.setPortOpen(true);
    QVERIFY(comm.portOpen());
    line.send("$GPGSA");
    QByteArray received;
    QTRY_COMPARE(received += comm.input(), QByteArray("$GPGSA"));

    line.hangUp();
    QTRY_VERIFY(!comm.portOpen());
    QCOMPARE(comm.input(), QByteArray());
}

void TestProbe::findsThePrefixOnlyAsSent_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<bool>("found");

    using Reads = QList<QByteArray>;
    QTest::newRow("whole sentences") << Reads{kSentence, kSentence} << true;
    QTest::newRow("split after $G") << Reads{"$G", "P"} << true;
    QTest::newRow("split after $") << Reads{"xx$", "GPRMC"} << true;
    QTest::newRow("after binary noise") << Reads{QByteArray("\x00\xFF\x13$", 4), "GP"} << true;
    QTest::newRow("half the prefix only") << Reads{"$G", "$G", "$G"} << false;
    QTest::newRow("lower case") << Reads{"$gpgga,1*00\r\n", "$gprmc,2*00\r\n"} << false;
    QTest::newRow("other talkers")
        << Reads{"$GNGGA,1*00\r\n", "$GLGSV,2*00\r\n", "$BDGSA"} << false;
    QTest::newRow("silence") << Reads{} << false;
}

// Each piece goes out 150 ms after the previous one, so the probe, which
// reads every 100 ms, gets them in separate reads.
void TestProbe::findsThePrefixOnlyAsSent()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(bool, found);

    PtyLine line(m_comDir.path(), 3);
    QVERIFY(line.isValid());
    QObject scope; // ends the timers below before the lines they write to
    for (int i = 0; i < reads.size(); ++i) {
        const QByteArray piece = reads.at(i);
        QTimer::singleShot(200 + 150 * i, &scope, [&line, piece] { line.send(piece); });
    }

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(probePort(m_comm, 3, 3), found);
    QVERIFY(!m_comm.portOpen());
    if (!found) {
        // About the time-out, never longer: between 2 and 3 seconds.
        QVERIFY2(clock.elapsed() >= 2000 && clock.elapsed() < 3000,
                 qPrintable(QString::number(clock.elapsed())));
    }
}

void TestProbe::timeoutOfZeroOrLessDoesNotListen_data()
{
    QTest::addColumn<qint16>("timeout");
    QTest::newRow("0") << qint16(0);
    QTest::newRow("-1") << qint16(-1);
    QTest::newRow("most negative") << qint16(-32768);
}

void TestProbe::timeoutOfZeroOrLessDoesNotListen()
{
    QFETCH(qint16, timeout);

    PtyLine line(m_comDir.path(), 3);
    QVERIFY(line.isValid());
    QObject scope; // ends the timers below before the lines they write to
    QTimer::singleShot(0, &scope, [&line] { line.send(kSentence); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!probePort(m_comm, 3, timeout));
    QVERIFY(clock.elapsed() < 100);
    QVERIFY(!m_comm.portOpen());
}

void TestProbe::missingPortIsAbsentAfterTheTimeout_data()
{
    QTest::addColumn<qint16>("timeout");
    QTest::newRow("auto detect, 1 s") << qint16(1);
    QTest::newRow("scan, 3 s") << qint16(3);
}

void TestProbe::missingPortIsAbsentAfterTheTimeout()
{
    QFETCH(qint16, timeout);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!probePort(m_comm, 250, timeout));
    qInfo("time-out %d s: listened %lld ms", timeout, clock.elapsed());
    QVERIFY(!m_comm.portOpen());
    QVERIFY2(clock.elapsed() >= (timeout - 1) * 1000 && clock.elapsed() < timeout * 1000,
             qPrintable(QString::number(clock.elapsed())));
}

void TestProbe::portLeftOpenIsClosedFirst()
{
    PtyLine silent(m_comDir.path(), 5);
    PtyLine talking(m_comDir.path(), 6);
    QVERIFY(silent.isValid() && talking.isValid());
    m_comm.setCommPort(5);
    m_comm.setPortOpen(true);
    QVERIFY(m_comm.portOpen());

    QObject scope; // ends the timers below before the lines they write to
    QTimer::singleShot(200, &scope, [&talking] { talking.send(kSentence); });
    QVERIFY(probePort(m_comm, 6, 3));
    QCOMPARE(m_comm.commPort(), qint16(6));
    QVERIFY(!m_comm.portOpen());
}

QTEST_GUILESS_MAIN(TestProbe)
#include "tst_probe.moc"

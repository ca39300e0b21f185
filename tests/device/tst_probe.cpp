#include "device/detect.h"
#include "platform/serialcontrol.h"

#include "ptyline.h"

#include <QtTest>

#include <ctime>

using namespace brimo;

namespace {

const QByteArray kSentence =
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

} // namespace

class TestProbe : public QObject {
    Q_OBJECT

private slots:
    void findsThePrefixOnlyAsSent_data();
    void findsThePrefixOnlyAsSent();
};

// Each piece goes out 150 ms after the previous one, so the probe, which
// reads every 100 ms, gets them in separate reads; an empty piece hangs the
// line up, as a pulled adapter does. COM 250 has no line at all.
void TestProbe::findsThePrefixOnlyAsSent_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<qint16>("port");
    QTest::addColumn<qint16>("timeout");
    QTest::addColumn<bool>("found");

    const auto row = [](const char *name, const QList<QByteArray> &reads, int port, int timeout,
                        bool found) {
        QTest::newRow(name) << reads << qint16(port) << qint16(timeout) << found;
    };
    row("whole sentence", {kSentence}, 3, 3, true);
    row("split after $G", {"$G", "P"}, 3, 3, true);
    row("split after $, binary noise first", {QByteArray("\x00\xFF\x13$", 4), "GPRMC"}, 3, 3, true);
    row("half the prefix only", {"$G", "$G", "$G"}, 3, 3, false);
    row("lower case", {"$gpgga,1*00\r\n", "$gprmc,2*00\r\n"}, 3, 3, false);
    row("other talkers only", {"$GNGGA,1*00\r\n", "$GLGSV,2*00\r\n", "$BDGSA"}, 3, 3, false);
    row("pulled line", {QByteArray()}, 3, 3, false);
    row("timeout 0", {kSentence}, 3, 0, false);
    row("most negative timeout", {kSentence}, 3, -32768, false);
    row("missing port, 1 s", {}, 250, 1, false);
    row("missing port, 3 s", {}, 250, 3, false);
}

void TestProbe::findsThePrefixOnlyAsSent()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(qint16, port);
    QFETCH(qint16, timeout);
    QFETCH(bool, found);

    QTemporaryDir comDir;
    qputenv("BRIMO_COM_DIR", QFile::encodeName(comDir.path()));
    PtyLine line(comDir.path(), 3);
    // The wizard may leave another port open; the probe closes it first.
    PtyLine other(comDir.path(), 5);
    QVERIFY(line.isValid() && other.isValid());
    SerialControl comm;
    comm.setCommPort(5);
    comm.setPortOpen(true);
    QVERIFY(comm.portOpen());
    QObject scope; // ends the timers below before the line they use
    for (int i = 0; i < reads.size(); ++i) {
        const QByteArray piece = reads.at(i);
        QTimer::singleShot(timeout > 0 ? 200 + 150 * i : 0, &scope, [&line, piece] {
            if (piece.isEmpty())
                line.hangUp();
            else
                line.send(piece);
        });
    }

    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpuBefore = std::clock();
    QCOMPARE(probePort(comm, port, timeout), found);
    const qint64 cpu = (std::clock() - cpuBefore) * 1000 / CLOCKS_PER_SEC;
    const qint64 wall = clock.elapsed();
    QVERIFY(!comm.portOpen());
    QCOMPARE(comm.commPort(), port);
    // Not found: about the time-out, never longer; no listening at all for a
    // time-out of zero or less. Listening never spins.
    const qint64 least = found ? 0 : qMax(timeout - 1, 0) * 1000;
    const qint64 most = found ? 2000 : qMax(timeout * 1000, 100);
    QVERIFY2(wall >= least && wall < most, qPrintable(QString::number(wall)));
    QVERIFY2(wall < 1000 || cpu * 100 < wall * 30, qPrintable(QString::number(cpu)));
}

QTEST_GUILESS_MAIN(TestProbe)
#include "tst_probe.moc"

// The device link against the real parts: the port probe on a serial line
// (a pseudo-terminal), the identity read and the flash through the stand-in
// flash tool (the whole way to the simulated device is tests/ui's).
#include "device/detect.h"
#include "device/device.h"
#include "device/identityrecord.h"
#include "image/devicefile.h"
#include "platform/serialcontrol.h"

#include "apptestfolder.h"
#include "common/ptyline.h"
#include "common/srec.h"

#include <QtTest>

#include <ctime>
#include <optional>

using namespace brimo;

namespace {

const QByteArray kSystemNumber = "AB12CD34";
const QByteArray kTail = "0011223344556677";
const QByteArray kSentence =
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

} // namespace

class TestDevice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void findsThePrefixOnlyAsSent_data();
    void findsThePrefixOnlyAsSent();
    void knownIdentityRecords();
    void failedReadOrFlash_data();
    void failedReadOrFlash();

private:
    QTemporaryDir m_dir;
};

// The stand-in tool looks for its ports in a folder of no links: it finds no
// device, and never a port of the machine.
void TestDevice::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("BRIMO_COM_DIR", QFile::encodeName(m_dir.path()));
}

// Each piece goes out 150 ms after the previous one, so the probe, which
// reads every 100 ms, gets them in separate reads; an empty piece hangs the
// line up, as a pulled adapter does. The line is COM 20, above the sixteen
// every PC is searched on; COM 250 has no line at all. A held port
// is open in another serial control, as another program would hold it; the
// probe leaves the port it listened on free again.
void TestDevice::findsThePrefixOnlyAsSent_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<qint16>("port");
    QTest::addColumn<qint16>("timeout");
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("found");

    const auto row = [](const char *name, const QList<QByteArray> &reads, int port, int timeout,
                        bool found, bool held = false) {
        QTest::newRow(name) << reads << qint16(port) << qint16(timeout) << held << found;
    };
    row("whole sentence", {kSentence}, 20, 3, true);
    row("split after $G", {"$G", "P"}, 20, 3, true);
    row("split after $, binary noise first", {QByteArray("\x00\xFF\x13$", 4), "GPRMC"}, 20, 3,
        true);
    row("half the prefix only", {"$G", "$G", "$G"}, 20, 3, false);
    row("lower case", {"$gpgga,1*00\r\n", "$gprmc,2*00\r\n"}, 20, 3, false);
    row("other talkers only", {"$GNGGA,1*00\r\n", "$GLGSV,2*00\r\n", "$BDGSA"}, 20, 3, false);
    row("pulled line", {QByteArray()}, 20, 3, false);
    row("timeout 0", {kSentence}, 20, 0, false);
    row("most negative timeout", {kSentence}, 20, -32768, false);
    row("missing port, 1 s", {}, 250, 1, false);
    row("missing port, 3 s", {}, 250, 3, false);
    row("port held by another program", {kSentence, kSentence}, 20, 2, false, true);
}

void TestDevice::findsThePrefixOnlyAsSent()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(qint16, port);
    QFETCH(qint16, timeout);
    QFETCH(bool, held);
    QFETCH(bool, found);

    sim::PtyLine line(m_dir.filePath("com20"));
    QString error;
    QVERIFY2(line.open(&error), qPrintable(error));
    SerialPortProbe probe(m_dir.path());
    SerialControl holder(m_dir.path());
    holder.setCommPort(20);
    holder.setPortOpen(held);
    QObject scope; // ends the timers below before the line they use
    for (int i = 0; i < reads.size(); ++i) {
        const QByteArray piece = reads.at(i);
        QTimer::singleShot(timeout > 0 ? 200 + 150 * i : 0, &scope, [&line, piece] {
            if (piece.isEmpty())
                line.close();
            else
                line.send(piece);
        });
    }

    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpuBefore = std::clock();
    QCOMPARE(probe.probePort(port, timeout), found);
    const qint64 cpu = (std::clock() - cpuBefore) * 1000 / CLOCKS_PER_SEC;
    const qint64 wall = clock.elapsed();
    // Closed again: the next program to open a live line finds it free.
    holder.setPortOpen(!reads.contains(QByteArray()));
    QCOMPARE(holder.portOpen(), !reads.contains(QByteArray()));
    // Not found: about the time-out, never longer; no listening at all for a
    // time-out of zero or less. Listening never spins.
    const qint64 least = found ? 0 : qMax(timeout - 1, 0) * 1000;
    const qint64 most = found ? 2000 : qMax(timeout * 1000, 100);
    QVERIFY2(wall >= least && wall < most, qPrintable(QString::number(wall)));
    QVERIFY2(wall < 1000 || cpu * 100 < wall * 30, qPrintable(QString::number(cpu)));
}

// The tail goes in as given, lower case too; characters beyond ASCII are one
// byte each.
void TestDevice::knownIdentityRecords()
{
    const QByteArray record = identityRecord("00000000", QByteArray(16, '0'));
    QCOMPARE(record, "S31500080010" + QByteArray("30").repeated(8) + QByteArray(16, '0') + "52");
    QCOMPARE(identityRecord("\xE9\xFF\x80 -_./", "a1b2c3d4e5f60718"),
             QByteArray("S31500080010E9FF80202D5F2E2Fa1b2c3d4e5f607187D"));
}

// Every way a read or a flash fails: the tool's `fault` (none: no tool at
// all), or something in the way of the work file: a file left by an earlier
// run, even read-only, or a folder; or the downloaded image gone. The words
// of the failure, for the log; "*" stands for the system's own.
void TestDevice::failedReadOrFlash_data()
{
    QTest::addColumn<bool>("flashing");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("failure");

    const QByteArray image = sim::makeImage(4096, QByteArray(16, '\xFF'));
    const auto run = [&image](const char *name, bool flashing, const char *fault,
                              const char *obstacle, const QString &failure,
                              const QByteArray &served = {}) {
        QTest::newRow(name) << flashing << (served.isEmpty() ? image : served) << QString(fault)
                            << QString(obstacle) << failure;
    };
    run("read, exit 1", false, "exit 1", "", "");
    run("read, tool crashes", false, "crash", "", "");
    run("read, no dump file", false, "nofile", "", "");
    run("read, no dump, an old work file left", false, "nofile", "old", "");
    run("read, empty dump", false, "emptyfile", "", "Input past end of file");
    run("read, no device on the port", false, "ok", "", "");
    run("read, tool missing", false, "", "", "File not found: <tool>");
    run("read, a folder where the work file goes", false, "ok", "folder", "*");
    run("flash, exit 5", true, "exit 5", "", "");
    run("flash, crash", true, "crash", "", "");
    run("flash, exit 5 over a read-only work file", true, "exit 5", "read-only", "");
    run("flash, tool missing", true, "", "", "File not found: <tool>");
    run("flash, a folder where the work file goes", true, "ok", "folder", "*");
    run("flash, the downloaded image gone", true, "ok", "gone", "*");
    run("flash, LF line ends", true, "ok", "", "", QByteArray(image).replace("\r\n", "\n"));
}

void TestDevice::failedReadOrFlash()
{
    QFETCH(bool, flashing);
    QFETCH(QByteArray, image);
    QFETCH(QString, fault);
    QFETCH(QString, obstacle);
    QFETCH(QString, failure);

    AppTestFolder app(fault.isEmpty() ? AppTestFolder::WithoutTool : AppTestFolder::WithTool);
    app.setFaults({fault});
    QFile old(app.workFilePath());
    if (obstacle == "old" || obstacle == "read-only")
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(image) > 0);
    old.close();
    QVERIFY(obstacle != "read-only" || old.setPermissions(QFile::ReadOwner));
    QVERIFY(obstacle != "folder" || QDir(app.path()).mkpath("nf.dat/inside"));
    // A whole image as the web service keeps one, in the program's folder.
    ImageReceiver receiver(app.path());
    QString problem;
    QVERIFY(receiver.add(image));
    std::optional<deviceFile> objDF = receiver.finish(kTail, &problem);
    QVERIFY2(objDF, qPrintable(problem));
    // The flash goes to the port it is handed as text, the read to a number.
    Places places;
    places.appFolder = app.path();
    places.comFolder = m_dir.path();
    device link(places);
    QVERIFY(obstacle != "gone" || QFile::remove(objDF->path()));
    QString said;
    if (flashing) {
        const ImageWrite write =
            link.uploadData(*objDF, identityRecord(kSystemNumber, kTail), QStringLiteral("07"));
        QVERIFY(!write.written);
        said = write.failure;
    } else {
        const IdentityRead read = link.downloadData(12);
        QVERIFY(!read.systemNumber);
        said = read.failure;
    }

    QVERIFY(!QFileInfo(app.workFilePath()).isFile());
    // The image stays for another try; one that is gone stays gone.
    QCOMPARE(QFileInfo(objDF->path()).size(), obstacle == "gone" ? 0 : image.size());
    failure.replace("<tool>", app.toolPath());
    QCOMPARE(said, failure == "*" && !said.isEmpty() ? said : failure);
    // The command line to the character; the tool gets it as its arguments.
    const QString line = '"' + app.toolPath() + "\" \"" + app.workFilePath() + "\" -b 57600 -l " +
                         (flashing ? "07 -o 0 -c 0" : "12 -r -f 0x080000 -t 0x080020");
    QCOMPARE(toolCommandLine(app.path() + '/', flashing ? "07" : "12",
                             flashing ? ToolRun::WriteImage : ToolRun::ReadIdentity),
             line);
    const bool started =
        !fault.isEmpty() && (obstacle.isEmpty() || obstacle == "old" || obstacle == "read-only");
    QCOMPARE(app.logLines().size(), started ? 1 : 0);
    for (const QString &run : app.logLines())
        QVERIFY2(run.startsWith('[' + QProcess::splitCommand(line).mid(1).join("] [") + "] "),
                 qPrintable(run));
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"

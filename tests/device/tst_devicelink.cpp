#include "device/detect.h"
#include "device/device.h"
#include "platform/serialcontrol.h"

#include "apptestfolder.h"
#include "childscenario.h"
#include "common/srec.h"
#include "cputime.h"
#include "devsimprocess.h"
#include "recordingwindow.h"

#include <QtTest>

#include <cstdlib>

using namespace brimo;

namespace {

const QByteArray kServedIdentity(16, '\xFF');

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The child's part of exitWhileFlashingLeavesTheToolRunning: start a flash
// and end the program while the tool is still at work, as a forced close does.
int exitWhileFlashing()
{
    RecordingWindow window;
    const qint16 port = 250;
    device link(window, port, qEnvironmentVariable("BRIMO_TEST_APP_FOLDER"));
    link.objDF.load(sim::makeImage(2000, kServedIdentity), true);
    link.objDF.strRegEnd = "0011223344556677";
    link.SystemNumber(QStringLiteral("AB12CD34"));
    QTimer::singleShot(300, [] {
        brimo::test::report(QStringLiteral("leaving"));
        std::_Exit(0);
    });
    link.uploadData();
    brimo::test::report(QStringLiteral("flash ended first"));
    return 1;
}

} // namespace

class TestDeviceLink : public QObject {
    Q_OBJECT

private slots:
    void init();
    void probeHearsOnlyAStreamingDevice_data();
    void probeHearsOnlyAStreamingDevice();
    void pulledAdapterEndsTheProbeAtTheTimeoutWithoutSpinning();
    void identityReadAndFlashRoundTrip();
    void exitWhileFlashingLeavesTheToolRunning();

private:
    QTemporaryDir m_settings;
};

void TestDeviceLink::init()
{
    QVERIFY(m_settings.isValid());
    qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(m_settings.filePath("registry")));
    qunsetenv("BRIMO_FLASHTOOL_FAULT");
}

void TestDeviceLink::probeHearsOnlyAStreamingDevice_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<bool>("found");

    QTest::newRow("NORMAL and powered") << QStringList() << true;
    QTest::newRow("camera") << QStringList{"mode camera"} << false;
    QTest::newRow("D/L") << QStringList{"mode dl"} << false;
    QTest::newRow("powered off") << QStringList{"power off"} << false;
    QTest::newRow("powered on again") << QStringList{"power off", "power on"} << true;
}

void TestDeviceLink::probeHearsOnlyAStreamingDevice()
{
    QFETCH(QStringList, commands);
    QFETCH(bool, found);

    DevSimProcess sim(3);
    QVERIFY2(sim.isReady(), qPrintable(sim.errorText()));
    qputenv("BRIMO_COM_DIR", QFile::encodeName(sim.comDir()));
    for (const QString &command : commands)
        QCOMPARE(sim.send(command), QStringLiteral("ok"));

    SerialControl comm;
    comm.setSettings(QStringLiteral("9600,N,8,1"));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(probePort(comm, 3, 3), found);
    QVERIFY(!comm.portOpen());
    QCOMPARE(sim.status().value("open"), QStringLiteral("no"));
    // A streaming device sends a sentence at least every 150 ms.
    QVERIFY2(found ? clock.elapsed() < 1000 : clock.elapsed() >= 2000,
             qPrintable(QString::number(clock.elapsed())));
}

void TestDeviceLink::pulledAdapterEndsTheProbeAtTheTimeoutWithoutSpinning()
{
    DevSimProcess sim(4);
    QVERIFY2(sim.isReady(), qPrintable(sim.errorText()));
    qputenv("BRIMO_COM_DIR", QFile::encodeName(sim.comDir()));
    QCOMPARE(sim.send("mode camera"), QStringLiteral("ok"));
    QString unplugged;
    QObject scope; // ends the timer below before the device it talks to
    QTimer::singleShot(300, &scope, [&] { unplugged = sim.send("unplug"); });

    SerialControl comm;
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = cpuMilliseconds();
    QVERIFY(!probePort(comm, 4, 3));
    const qint64 cpu = cpuMilliseconds() - cpuBefore;
    const qint64 wall = clock.elapsed();
    qInfo("line gone: %lld ms CPU in %lld ms", cpu, wall);
    QCOMPARE(unplugged, QStringLiteral("ok"));
    QVERIFY(!comm.portOpen());
    QVERIFY2(wall >= 2000 && wall < 3000, qPrintable(QString::number(wall)));
    QVERIFY2(cpu * 100 < wall * 30,
             qPrintable(QStringLiteral("cpu %1 ms of %2").arg(cpu).arg(wall)));
}

// The whole road through the device link: find the device, read its identity,
// put it into a served image of 1 MiB and flash that image.
void TestDeviceLink::identityReadAndFlashRoundTrip()
{
    DevSimProcess sim(3, {"--system-number", "AB12CD34", "--tail", "8899AABBCCDDEEFF"});
    QVERIFY2(sim.isReady(), qPrintable(sim.errorText()));
    qputenv("BRIMO_COM_DIR", QFile::encodeName(sim.comDir()));
    AppTestFolder app;
    QVERIFY(app.isValid());

    SerialControl comm;
    QVERIFY(probePort(comm, 3, 3));
    QCOMPARE(sim.send("mode dl"), QStringLiteral("ok"));

    RecordingWindow window;
    const qint16 port = 3;
    device link(window, port, app.path());
    QVERIFY(link.downloadData());
    QCOMPARE(link.SystemNumber(), QStringLiteral("AB12CD34"));
    QCOMPARE(link.objDF.size(), 32);
    QCOMPARE(link.objDF.getData().mid(16),
             QByteArray("AB12CD34") + QByteArray::fromHex("8899AABBCCDDEEFF"));
    QVERIFY(!QFile::exists(app.workFilePath()));
    QVERIFY(window.lines.isEmpty());

    const QByteArray image = sim::makeImage(1 << 20, kServedIdentity, 7);
    link.objDF.load(image, true);
    link.objDF.strRegEnd = "0011223344556677";
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(link.uploadData(), qPrintable(window.lines.join(" | ")));
    qInfo("flashing %d characters took %lld ms", link.objDF.size(), clock.elapsed());
    QCOMPARE(window.lines.last(), QStringLiteral("Cleaning up"));
    QCOMPARE(window.progress, QList<int>({20, 40, 60, 80}));
    QCOMPARE(window.dots, QList<bool>({true, false}));
    QVERIFY(!QFile::exists(app.workFilePath()));
    QVERIFY(link.objDF.getData() == image);

    const QMap<QString, QString> status = sim.status();
    QCOMPARE(status.value("writes"), QStringLiteral("1"));
    QCOMPARE(status.value("system"), QStringLiteral("AB12CD34"));
    QCOMPARE(status.value("tail"), QStringLiteral("0011223344556677"));

    // Every data record of the image is in the flash, the identity record as
    // the device's own.
    const QByteArray flash = readFile(sim.flashPath());
    QCOMPARE(flash.mid(0x080010, 16),
             QByteArray("AB12CD34") + QByteArray::fromHex("0011223344556677"));
    int records = 0;
    for (QByteArray line : image.split('\n')) {
        sim::SRecord record;
        if (!sim::parseSRecord(line.trimmed(), &record, nullptr) || record.type != '3')
            continue;
        ++records;
        if (record.address != sim::kIdentityAddress)
            QVERIFY2(flash.mid(record.address, record.data.size()) == record.data,
                     qPrintable(QString::number(record.address, 16)));
    }
    QCOMPARE(status.value("records"), QString::number(records));
}

// The program may end (a forced close) while the flash tool works; the tool
// must finish its run rather than be killed with the program.
void TestDeviceLink::exitWhileFlashingLeavesTheToolRunning()
{
    AppTestFolder app;
    QVERIFY(app.isValid());
    app.setFaults({"delay 1500"});
    const brimo::test::ChildResult child =
        brimo::test::runScenario("exitWhileFlashing", {"BRIMO_TEST_APP_FOLDER=" + app.path()});
    QVERIFY(child.finished);
    QCOMPARE(child.exitCode, 0);
    QVERIFY2(child.output.contains("leaving"), qPrintable(child.output));
    QVERIFY(app.logLines().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(app.logLines().size(), 1, 10000);
    QVERIFY(app.logLines().first().contains("[-o] [0] [-c] [0] -> exit"));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (const auto code =
            brimo::test::runRequestedScenario({{"exitWhileFlashing", exitWhileFlashing}}))
        return *code;
    TestDeviceLink test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_devicelink.moc"

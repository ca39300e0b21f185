#include "device/detect.h"
#include "device/device.h"
#include "device/identityrecord.h"
#include "platform/serialcontrol.h"
#include "settings/registry.h"

#include "apptestfolder.h"
#include "childscenario.h"
#include "common/srec.h"
#include "devsimprocess.h"
#include "recordingwindow.h"

#include <QtTest>

#include <cstdlib>

using namespace brimo;

namespace {

const QByteArray kTail = "0011223344556677";

// An update image as the vendor serves it: the identity record carries 0xFF.
QByteArray servedImage(qint64 size = 4096)
{
    return sim::makeImage(size, QByteArray(16, '\xFF'));
}

void prepareFlash(device &link, const QByteArray &image = servedImage())
{
    link.objDF.load(image, true);
    link.objDF.strRegEnd = kTail;
    link.SystemNumber(QStringLiteral("AB12CD34"));
}

// The child's part of exitWhileFlashingLeavesTheToolRunning: start a flash
// and end the program while the tool is still at work, as a forced close does.
int exitWhileFlashing()
{
    RecordingWindow window;
    const qint16 port = 250;
    device link(window, port, qEnvironmentVariable("BRIMO_TEST_APP_FOLDER"));
    prepareFlash(link);
    QTimer::singleShot(300, [] {
        brimo::test::report(QStringLiteral("leaving"));
        std::_Exit(0);
    });
    link.uploadData();
    brimo::test::report(QStringLiteral("flash ended first"));
    return 1;
}

} // namespace

class TestDevice : public QObject {
    Q_OBJECT

private slots:
    void init();
    void uploadRefusesBeforeStartingTheTool_data();
    void uploadRefusesBeforeStartingTheTool();
    void failedIdentityReadKeepsTheSystemNumber_data();
    void failedIdentityReadKeepsTheSystemNumber();
    void failedFlashDeletesTheWorkFileAndStopsTheDots_data();
    void failedFlashDeletesTheWorkFileAndStopsTheDots();
    void flashWritesTheSameWorkFileEveryTime();
    void identityReadAndFlashRoundTrip();
    void exitWhileFlashingLeavesTheToolRunning();

private:
    QTemporaryDir m_dir;
    int m_tests = 0;
};

// Every test starts with an empty settings store of its own and no COM port
// links, so the stand-in tool finds no device.
void TestDevice::init()
{
    QVERIFY(m_dir.isValid());
    qputenv("BRIMO_COM_DIR", QFile::encodeName(m_dir.path()));
    const QString file = m_dir.filePath(QStringLiteral("registry-%1").arg(++m_tests));
    qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(file));
    qunsetenv("BRIMO_FLASHTOOL_FAULT");
}

void TestDevice::uploadRefusesBeforeStartingTheTool_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("systemNumber");
    QTest::addColumn<QByteArray>("regEnd");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("999 characters")
        << servedImage().left(999) << "AB12CD34" << kTail << "Update size is incorrect";
    QTest::newRow("1000 characters without the record")
        << QByteArray(1000, '0') << "AB12CD34" << kTail << "The update holds no identity record";
    QTest::newRow("system number of 7") << servedImage() << "AB12CD3" << kTail
                                        << "The system number \"AB12CD3\" is not 8 characters long";
    QTest::newRow("no identity tail") << servedImage() << "AB12CD34" << QByteArray()
                                      << "The update came without its identity tail (REGEND)";
}

void TestDevice::uploadRefusesBeforeStartingTheTool()
{
    QFETCH(QByteArray, image);
    QFETCH(QString, systemNumber);
    QFETCH(QByteArray, regEnd);
    QFETCH(QString, refusal);

    AppTestFolder app;
    QVERIFY(app.isValid());
    RecordingWindow window;
    const qint16 port = 3;
    device link(window, port, app.path());
    link.objDF.load(image, true);
    link.objDF.strRegEnd = regEnd;
    link.SystemNumber(systemNumber);

    QVERIFY(!link.uploadData());
    QStringList lines = {"Checking update integrity", "Checking system number", refusal};
    if (image.size() < 1000)
        lines.removeAt(1);
    QCOMPARE(window.lines, lines);
    QCOMPARE(window.progress, QList<int>({20, 40}).mid(0, lines.size() - 1));
    QVERIFY(window.dots.isEmpty());
    QVERIFY(app.logLines().isEmpty());
    QVERIFY(!QFile::exists(app.workFilePath()));
    QCOMPARE(link.objDF.getData(), image);
}

void TestDevice::failedIdentityReadKeepsTheSystemNumber_data()
{
    QTest::addColumn<bool>("withTool");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("staleWorkFile");
    QTest::addColumn<QString>("logged");

    QTest::newRow("exit 1") << true << "exit 1" << false << "";
    QTest::newRow("no dump file") << true << "nofile" << false << "";
    QTest::newRow("no dump, an old work file left") << true << "nofile" << true << "";
    QTest::newRow("empty dump") << true << "emptyfile" << false << "Input past end of file";
    QTest::newRow("tool missing") << false << "" << false << "File not found";
}

void TestDevice::failedIdentityReadKeepsTheSystemNumber()
{
    QFETCH(bool, withTool);
    QFETCH(QString, fault);
    QFETCH(bool, staleWorkFile);
    QFETCH(QString, logged);

    AppTestFolder app(withTool ? AppTestFolder::WithTool : AppTestFolder::WithoutTool);
    app.setFaults({fault});
    if (staleWorkFile) {
        QFile stale(app.workFilePath());
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write(servedImage()) > 0);
    }
    RecordingWindow window;
    qint16 port = 3;
    device link(window, port, app.path());
    link.SystemNumber(QStringLiteral("PREVIOUS"));
    port = 12; // the program's current port, read at each identity read

    QVERIFY(!link.downloadData());
    QCOMPARE(link.SystemNumber(), QStringLiteral("PREVIOUS"));
    QVERIFY(!QFile::exists(app.workFilePath()));
    QCOMPARE(window.lines.size(), logged.isEmpty() ? 0 : 1);
    if (!logged.isEmpty())
        QVERIFY2(window.lines.first().startsWith(logged), qPrintable(window.lines.first()));
    const QString arguments =
        "[" + app.workFilePath() + "] [-b] [57600] [-l] [12] [-r] [-f] [0x080000] [-t] [0x080020]";
    QCOMPARE(app.logLines().size(), withTool ? 1 : 0);
    if (withTool)
        QVERIFY2(app.logLines().first().startsWith(arguments), qPrintable(app.logLines().first()));
}

void TestDevice::failedFlashDeletesTheWorkFileAndStopsTheDots_data()
{
    QTest::addColumn<bool>("readOnlyLeftover");

    QTest::newRow("exit 5") << false;
    QTest::newRow("exit 5 over a read-only work file left over") << true;
}

void TestDevice::failedFlashDeletesTheWorkFileAndStopsTheDots()
{
    QFETCH(bool, readOnlyLeftover);

    AppTestFolder app;
    QVERIFY(app.isValid());
    app.setFaults({"exit 5"});
    if (readOnlyLeftover) {
        QFile leftover(app.workFilePath());
        QVERIFY(leftover.open(QIODevice::WriteOnly) && leftover.write("stale") == 5);
        leftover.close();
        QVERIFY(leftover.setPermissions(QFile::ReadOwner));
    }
    // The stored port is the one flashed, as stored and as it was when the
    // link was made.
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"), "07");
    RecordingWindow window;
    const qint16 port = 3;
    device link(window, port, app.path());
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"), "9");
    prepareFlash(link);

    QVERIFY(!link.uploadData());
    QCOMPARE(window.lines, QStringList({"Checking update integrity", "Checking system number",
                                        "Updating device."}));
    QCOMPARE(window.progress, QList<int>({20, 40, 60}));
    QCOMPARE(window.dots, QList<bool>({true, false}));
    QVERIFY(!QFile::exists(app.workFilePath()));
    QCOMPARE(app.logLines(), QStringList("[" + app.workFilePath() +
                                         "] [-b] [57600] [-l] [07] [-o] [0] [-c] [0] -> exit 5"));
}

// The container keeps the image as served, so a retry writes the same file.
// The work file is copied while the tool runs: the link deletes it after.
void TestDevice::flashWritesTheSameWorkFileEveryTime()
{
    AppTestFolder app;
    QVERIFY(app.isValid());
    app.setFaults({"delay 300", "delay 300"});
    RecordingWindow window;
    const qint16 port = 250;
    device link(window, port, app.path());
    const QByteArray image = servedImage(1 << 20);
    prepareFlash(link, image);

    QList<QByteArray> written;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        QFile file(app.workFilePath());
        if (file.open(QIODevice::ReadOnly))
            written.last() = file.readAll();
    });
    watch.start(20);
    for (int run = 0; run < 2; ++run) {
        written.append(QByteArray());
        QVERIFY(!link.uploadData());
    }
    const QByteArray expected = rewriteIdentity(image, "AB12CD34", kTail).image;
    QCOMPARE(written.at(0).size(), expected.size());
    QVERIFY(written.at(0) == expected && written.at(1) == expected);
    QVERIFY(link.objDF.getData() == image);
    // Without a stored port the device is flashed where it was found.
    QCOMPARE(app.logLines().filter("[-l] [250] [-o] [0] [-c] [0] -> exit 3").size(), 2);
}

// The whole road through the device link: find the device, let the flash
// tool read its identity on the same port, put it into a served image of
// 1 MiB and flash that image.
void TestDevice::identityReadAndFlashRoundTrip()
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
    QCOMPARE(link.objDF.getData().mid(16),
             QByteArray("AB12CD34") + QByteArray::fromHex("8899AABBCCDDEEFF"));
    QVERIFY(window.lines.isEmpty());
    QVERIFY(!QFile::exists(app.workFilePath()));

    const QByteArray image = sim::makeImage(1 << 20, QByteArray(16, '\xFF'), 7);
    link.objDF.load(image, true);
    link.objDF.strRegEnd = kTail;
    QVERIFY2(link.uploadData(), qPrintable(window.lines.join(" | ")));
    QCOMPARE(window.lines.last(), QStringLiteral("Cleaning up"));
    QCOMPARE(window.progress, QList<int>({20, 40, 60, 80}));
    QCOMPARE(window.dots, QList<bool>({true, false}));
    QVERIFY(!QFile::exists(app.workFilePath()));

    // Every data record of the image is in the flash, the identity record as
    // the device's own.
    QFile flashFile(sim.flashPath());
    QVERIFY(flashFile.open(QIODevice::ReadOnly));
    const QByteArray flash = flashFile.readAll();
    QCOMPARE(flash.mid(0x080010, 16), "AB12CD34" + QByteArray::fromHex(kTail));
    int records = 0;
    for (const QByteArray &line : image.split('\n')) {
        sim::SRecord record;
        if (!sim::parseSRecord(line.trimmed(), &record, nullptr) || record.type != '3')
            continue;
        ++records;
        if (record.address != sim::kIdentityAddress)
            QVERIFY2(flash.mid(record.address, record.data.size()) == record.data,
                     qPrintable(QString::number(record.address, 16)));
    }
    const QMap<QString, QString> status = sim.status();
    QCOMPARE(status.value("writes"), QStringLiteral("1"));
    QCOMPARE(status.value("records"), QString::number(records));
}

// The program may end (a forced close) while the flash tool works; the tool
// must finish its run rather than be killed with the program.
void TestDevice::exitWhileFlashingLeavesTheToolRunning()
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
    TestDevice test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_device.moc"

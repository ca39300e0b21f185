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
const QStringList kFlashStart = {"Checking update integrity", "Checking system number",
                                 "Updating device."};

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
    void knownIdentityRecords();
    void rewriteReplacesEveryCopyAndNothingElse();
    void uploadRefusesBeforeStartingTheTool_data();
    void uploadRefusesBeforeStartingTheTool();
    void failedToolRunDeletesTheWorkFile_data();
    void failedToolRunDeletesTheWorkFile();
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

// The tail goes in as given, lower case too; characters beyond ASCII are one
// byte each. That such records pass a flash tool's checks shows in the round
// trip below.
void TestDevice::knownIdentityRecords()
{
    const QByteArray record = identityRecord("00000000", QByteArray(16, '0'));
    QCOMPARE(record, "S31500080010" + QByteArray("30").repeated(8) + QByteArray(16, '0') + "52");
    QCOMPARE(record.size(), 46);
    QCOMPARE(identityRecord("\xE9\xFF\x80 -_./", "a1b2c3d4e5f60718"),
             QByteArray("S31500080010E9FF80202D5F2E2Fa1b2c3d4e5f607187D"));
}

void TestDevice::rewriteReplacesEveryCopyAndNothingElse()
{
    const QByteArray served = sim::formatSRecord('3', 0x00080010, QByteArray(16, '\xFF')) + "\r\n";
    const QByteArray other = sim::formatSRecord('3', 0x00080020, QByteArray(16, 'b')) + "\r\n";
    const QByteArray own = identityRecord("AB12CD34", kTail);
    const QByteArray twice = other + served + other + served;
    QCOMPARE(rewrittenImage(twice, rewriteIdentity(twice, "AB12CD34", kTail)),
             other + own + "\r\n" + other + own + "\r\n");
    // A record cut short at the end of the image is replaced whole.
    const QByteArray cut = "S0030000FC\r\nS315000800103030";
    QCOMPARE(rewrittenImage(cut, rewriteIdentity(cut, "AB12CD34", kTail)), "S0030000FC\r\n" + own);
}

void TestDevice::uploadRefusesBeforeStartingTheTool_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("systemNumber");
    QTest::addColumn<QByteArray>("regEnd");
    QTest::addColumn<QString>("refusal");

    const auto row = [](const char *name, const QByteArray &image, const QByteArray &systemNumber,
                        const QByteArray &regEnd, const QString &refusal) {
        QTest::newRow(name) << image << systemNumber << regEnd << refusal;
    };
    const QByteArray image = servedImage();
    const QString noRecord = QStringLiteral("The update holds no identity record");
    row("999 characters", image.left(999), "AB12CD34", kTail, "Update size is incorrect");
    row("1000 characters without the record", QByteArray(1000, '0'), "AB12CD34", kTail, noRecord);
    row("record in lower case", QByteArray(image).replace("S31500080010", "s31500080010"),
        "AB12CD34", kTail, noRecord);
    row("system number of 7", image, "AB12CD3", kTail,
        "The system number \"AB12CD3\" is not 8 characters long");
    row("system number of 9", image, "AB12CD345", kTail,
        "The system number \"AB12CD345\" is not 8 characters long");
    row("no identity tail", image, "AB12CD34", "",
        "The update came without its identity tail (REGEND)");
    row("tail of 17", image, "AB12CD34", kTail + '0',
        "The identity tail \"00112233445566770\" is not 16 hexadecimal digits");
    row("tail not hexadecimal", image, "AB12CD34", "00112233445566GG",
        "The identity tail \"00112233445566GG\" is not 16 hexadecimal digits");
}

void TestDevice::uploadRefusesBeforeStartingTheTool()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, systemNumber);
    QFETCH(QByteArray, regEnd);
    QFETCH(QString, refusal);

    AppTestFolder app;
    QVERIFY(app.isValid());
    RecordingWindow window;
    const qint16 port = 3;
    device link(window, port, app.path());
    link.objDF.load(image, true);
    link.objDF.strRegEnd = regEnd;
    link.SystemNumber(QString::fromLatin1(systemNumber));

    QVERIFY(!link.uploadData());
    // Only the image's size is checked before its identity.
    const QStringList lines = kFlashStart.mid(0, image.size() < 1000 ? 1 : 2) << refusal;
    QCOMPARE(window.lines, lines);
    QCOMPARE(window.progress, QList<int>({20, 40}).mid(0, lines.size() - 1));
    QVERIFY(window.dots.isEmpty());
    QVERIFY(app.logLines().isEmpty());
    QVERIFY(!QFile::exists(app.workFilePath()));
    QCOMPARE(link.objDF.getData(), image);
}

// No fault: no tool at all. A work file left over by an earlier run may be in
// the way, even marked read-only.
void TestDevice::failedToolRunDeletesTheWorkFile_data()
{
    QTest::addColumn<bool>("flashing");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("leftover");
    QTest::addColumn<QString>("logged");

    const auto row = [](const char *name, bool flashing, const char *fault, const char *leftover,
                        const char *logged) {
        QTest::newRow(name) << flashing << QString(fault) << QString(leftover) << QString(logged);
    };
    row("read, exit 1", false, "exit 1", "", "");
    row("read, tool crashes", false, "crash", "", "");
    row("read, no dump file", false, "nofile", "", "");
    row("read, no dump, an old work file left", false, "nofile", "old", "");
    row("read, empty dump", false, "emptyfile", "", "Input past end of file");
    row("read, no device on the port", false, "ok", "", "");
    row("read, tool missing", false, "", "", "File not found: <tool>");
    row("flash, exit 5", true, "exit 5", "", "");
    row("flash, crash", true, "crash", "", "");
    row("flash, exit 5 over a read-only work file", true, "exit 5", "read-only", "");
    row("flash, tool missing", true, "", "", "File not found: <tool>");
}

void TestDevice::failedToolRunDeletesTheWorkFile()
{
    QFETCH(bool, flashing);
    QFETCH(QString, fault);
    QFETCH(QString, leftover);
    QFETCH(QString, logged);

    AppTestFolder app(fault.isEmpty() ? AppTestFolder::WithoutTool : AppTestFolder::WithTool);
    app.setFaults({fault});
    QFile old(app.workFilePath());
    QVERIFY(leftover.isEmpty() || (old.open(QIODevice::WriteOnly) && old.write(servedImage()) > 0));
    old.close();
    QVERIFY(leftover != "read-only" || old.setPermissions(QFile::ReadOwner));
    // The stored port is read once, when the link is made, and flashed; the
    // program's current port is read at each identity read.
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"), "07");
    RecordingWindow window;
    qint16 port = 3;
    device link(window, port, app.path());
    prepareFlash(link);
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"), "9");
    port = 12;

    QVERIFY(!(flashing ? link.uploadData() : link.downloadData()));
    QVERIFY(!QFile::exists(app.workFilePath()));
    QCOMPARE(link.SystemNumber(), QStringLiteral("AB12CD34"));
    QStringList lines = flashing ? kFlashStart : QStringList();
    if (!logged.isEmpty())
        lines << QString(logged).replace("<tool>", app.toolPath());
    QCOMPARE(window.lines, lines);
    QCOMPARE(window.progress, flashing ? QList<int>({20, 40, 60}) : QList<int>());
    QCOMPARE(window.dots, flashing ? QList<bool>({true, false}) : QList<bool>());
    const QString arguments =
        "[" + app.workFilePath() + "] [-b] [57600] [-l] " +
        (flashing ? "[07] [-o] [0] [-c] [0]" : "[12] [-r] [-f] [0x080000] [-t] [0x080020]");
    QCOMPARE(app.logLines().size(), fault.isEmpty() ? 0 : 1);
    if (!fault.isEmpty())
        QVERIFY2(app.logLines().first().startsWith(arguments), qPrintable(app.logLines().first()));
}

// The whole road through the device link: find the device, let the flash
// tool read its identity on the same port, put it into a served image of
// 1 MiB and flash that image twice.
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

    // The container keeps the image as served, so a second flash writes the
    // same work file. It is copied while the tool runs: the link deletes it.
    // A second copy of the served record, near the start, must be replaced too.
    const QByteArray served =
        sim::formatSRecord('3', sim::kIdentityAddress, QByteArray(16, '\xFF'));
    QByteArray image = sim::makeImage(1 << 20, QByteArray(16, '\xFF'), 7);
    image.insert(image.indexOf('\n') + 1, served + "\r\n");
    link.objDF.load(image, true);
    link.objDF.strRegEnd = kTail;
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
        QVERIFY2(link.uploadData(), qPrintable(window.lines.join(" | ")));
    }
    const QByteArray expected =
        QByteArray(image).replace(served, identityRecord("AB12CD34", kTail));
    QCOMPARE(expected.count(identityRecord("AB12CD34", kTail)), 2);
    QVERIFY(written.at(0) == expected && written.at(1) == expected);
    QCOMPARE(window.lines.last(), QStringLiteral("Cleaning up"));
    QCOMPARE(window.progress, QList<int>({20, 40, 60, 80, 20, 40, 60, 80}));
    QCOMPARE(window.dots, QList<bool>({true, false, true, false}));
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
    QCOMPARE(status.value("writes"), QStringLiteral("2"));
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

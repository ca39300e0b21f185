#include "device/detect.h"
#include "device/device.h"
#include "device/identityrecord.h"
#include "image/devicefile.h"
#include "platform/commandrunner.h"
#include "platform/comport.h"
#include "platform/serialcontrol.h"

#include "apptestfolder.h"
#include "common/srec.h"
#include "devsimprocess.h"
#include "ptyline.h"
#include "recordingwindow.h"

#include <QtTest>

#include <ctime>
#include <optional>

using namespace brimo;

namespace {

const QByteArray kSystemNumber = "AB12CD34";
const QByteArray kTail = "0011223344556677";
const QByteArray kSentence =
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
// The identity record as the vendor serves it, carrying 0xFF.
const QByteArray kServedRecord = "S31500080010" + QByteArray(32, 'F') + "E2";

QByteArray servedImage()
{
    return sim::makeImage(4096, QByteArray(16, '\xFF'));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A whole image as the web service keeps one, in the application folder.
std::optional<deviceFile> received(const QString &folder, const QByteArray &image)
{
    ImageReceiver receiver(folder);
    QString problem;
    if (!receiver.add(image))
        return std::nullopt;
    std::optional<deviceFile> kept = receiver.finish(kTail, &problem);
    if (!problem.isEmpty())
        qWarning("%s", qPrintable(problem));
    return kept;
}

} // namespace

class TestDevice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void comPortNames_data();
    void comPortNames();
    void findsThePrefixOnlyAsSent_data();
    void findsThePrefixOnlyAsSent();
    void runsTheCommandAndWaits_data();
    void runsTheCommandAndWaits();
    void knownIdentityRecords();
    void failedReadOrFlash_data();
    void failedReadOrFlash();
    void identityReadAndFlashRoundTrip();

private:
    QTemporaryDir m_dir;
};

// A stand-in "wine" first on the path records how it was called.
void TestDevice::initTestCase()
{
    QVERIFY(QDir(m_dir.path()).mkpath("bin") && QDir(m_dir.path()).mkpath("tool dir"));
    QFile wine(m_dir.filePath("bin/wine"));
    QVERIFY(wine.open(QIODevice::WriteOnly) &&
            wine.write("#!/bin/sh\nprintf '[%s]\\n' \"$@\" > \"$WINE_ARGS\"\nexit 7\n") > 0);
    QVERIFY(wine.setPermissions(wine.permissions() | QFile::ExeOwner));
    qputenv("PATH", QFile::encodeName(m_dir.filePath("bin")) + ':' + qgetenv("PATH"));
    qputenv("WINE_ARGS", QFile::encodeName(m_dir.filePath("wine-args")));
    qputenv("WINEPREFIX", QFile::encodeName(m_dir.filePath("prefix")));
    qunsetenv("BRIMO_WINE");
}

// Every test starts with no COM port links, so the stand-in tool finds no
// device.
void TestDevice::init()
{
    QVERIFY(m_dir.isValid());
    qputenv("BRIMO_COM_DIR", QFile::encodeName(m_dir.path()));
}

// COM n is the device that $BRIMO_COM_DIR/comn names, else Wine's link for it
// in its prefix (by default ~/.wine), else the system's n-th serial port.
void TestDevice::comPortNames_data()
{
    QTest::addColumn<QString>("comDir");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("expected");
    const QString links = m_dir.filePath("links"), prefix = m_dir.filePath("prefix");
    QTest::newRow("the chosen folder first") << links << prefix << 7 << "/dev/by-brimo";
    QTest::newRow("Wine's prefix") << QString() << prefix << 7 << "/dev/by-wine";
    QTest::newRow("Wine's own default") << QString() << QString() << 7 << "/dev/by-home";
    QTest::newRow("no link: the system's port") << links << prefix << 12 << "/dev/ttyS11";
}

void TestDevice::comPortNames()
{
    QFETCH(QString, comDir);
    QFETCH(QString, prefix);
    QFETCH(int, port);
    QFETCH(QString, expected);
    const QDir dir(m_dir.path());
    for (const auto &[link, target] : {std::pair{"links", "/dev/by-brimo"},
                                       {"prefix/dosdevices", "/dev/by-wine"},
                                       {"home/.wine/dosdevices", "/dev/by-home"}}) {
        dir.mkpath(link);
        QFile::link(target, dir.filePath(link + QStringLiteral("/com7")));
    }
    const QByteArray home = qgetenv("HOME"), wine = qgetenv("WINEPREFIX");
    qputenv("HOME", QFile::encodeName(m_dir.filePath("home")));
    qputenv("BRIMO_COM_DIR", QFile::encodeName(comDir));
    qputenv("WINEPREFIX", QFile::encodeName(prefix));
    const QString name = comPortSystemName(port);
    qputenv("HOME", home);
    qputenv("WINEPREFIX", wine);
    QCOMPARE(name, expected);
}

// Each piece goes out 150 ms after the previous one, so the probe, which
// reads every 100 ms, gets them in separate reads; an empty piece hangs the
// line up, as a pulled adapter does. COM 250 has no line at all. A held port
// is open in another serial control, as another program would hold it.
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
    row("port held by another program", {kSentence, kSentence}, 3, 2, false, true);
}

void TestDevice::findsThePrefixOnlyAsSent()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(qint16, port);
    QFETCH(qint16, timeout);
    QFETCH(bool, held);
    QFETCH(bool, found);

    PtyLine line(m_dir.path(), 3);
    // The wizard may leave another port open; the probe closes it first.
    PtyLine other(m_dir.path(), 5);
    QVERIFY(line.isValid() && other.isValid());
    SerialControl comm;
    comm.setCommPort(5);
    comm.setPortOpen(true);
    QVERIFY(comm.portOpen());
    SerialControl holder;
    holder.setCommPort(3);
    holder.setPortOpen(held);
    QCOMPARE(holder.portOpen(), held);
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

// A program that starts with "MZ" is a Windows program: it runs through
// wine, with the work file as a Windows path on the drive of the root folder,
// Z: unless another letter is linked to it. An exit code of -1 stands for any
// code but 0; the slow crash shows that timers tick while the command runs.
void TestDevice::runsTheCommandAndWaits_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QString>("rootDrive");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("ticks");

    // More output than a pipe holds: nobody reads it, and the run must not stall.
    QTest::newRow("output goes nowhere")
        << QByteArray("#!/bin/sh\nhead -c 300000 /dev/zero; head -c 300000 /dev/zero >&2; exit 4\n")
        << "" << 4 << "" << 0;
    QTest::newRow("slow crash") << QByteArray("#!/bin/sh\nsleep 0.5; kill -SEGV $$\n") << "" << -1
                                << "Process crashed" << 5;
    const QByteArray windows("MZ\x90\x00\x03", 5);
    QTest::newRow("Windows program, root on Z:") << windows << "" << 7 << "" << 0;
    QTest::newRow("Windows program, root on Y:") << windows << "y:" << 7 << "" << 0;
}

void TestDevice::runsTheCommandAndWaits()
{
    QFETCH(QByteArray, program);
    QFETCH(QString, rootDrive);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QFETCH(int, ticks);

    const QString devices = m_dir.filePath("prefix/dosdevices");
    QVERIFY(QDir(devices).removeRecursively() && QDir().mkpath(devices));
    QVERIFY(rootDrive.isEmpty() || QFile::link("/", devices + '/' + rootDrive));
    QFile::remove(m_dir.filePath("wine-args"));
    QFile tool(m_dir.filePath("tool dir/sirfflashcl.exe"));
    tool.remove();
    QVERIFY(tool.open(QIODevice::WriteOnly) && tool.write(program) == program.size());
    tool.close();
    QVERIFY(tool.setPermissions(tool.permissions() | QFile::ExeOwner));
    int ticked = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&ticked] { ++ticked; });
    timer.start(50);

    const QString workFile = m_dir.filePath("tool dir/nf.dat");
    const CommandResult result =
        runHidden(QStringLiteral("\"%1\" \"%2\" -l 3").arg(tool.fileName(), workFile));
    QVERIFY(result.started);
    QVERIFY(exitCode < 0 ? result.exitCode != 0 : result.exitCode == exitCode);
    QCOMPARE(result.errorText, error);
    QVERIFY2(ticked >= ticks, qPrintable(QString::number(ticked)));
    QFile args(m_dir.filePath("wine-args"));
    const QString drive = rootDrive.isEmpty() ? QStringLiteral("Z:") : rootDrive.toUpper();
    QCOMPARE(args.open(QIODevice::ReadOnly) ? QString::fromUtf8(args.readAll()) : QString(),
             program.startsWith("MZ") ? "[" + tool.fileName() + "]\n[" + drive +
                                            QString(workFile).replace('/', '\\') + "]\n[-l]\n[3]\n"
                                      : QString());
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
// run, even read-only, or a folder; or the downloaded image gone. A flash checks the image and the identity
// before the tool starts. What the user sees, in order: log lines, the
// progress bar ("20%") and the dots; "*" stands for the system's own words.
void TestDevice::failedReadOrFlash_data()
{
    QTest::addColumn<bool>("flashing");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("systemNumber");
    QTest::addColumn<QByteArray>("regEnd");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("seen");

    const QByteArray image = servedImage();
    const QString checks = "Checking update integrity|20%|Checking system number|40%";
    const QString flashed = checks + "|Updating device.|60%|dots on|";
    const auto run = [&image](const char *name, bool flashing, const char *fault,
                              const char *obstacle, const QString &seen,
                              const QByteArray &served = {}) {
        QTest::newRow(name) << flashing << (served.isEmpty() ? image : served) << kSystemNumber
                            << kTail << QString(fault) << QString(obstacle) << seen;
    };
    const auto refused = [&checks](const char *name, const QByteArray &served, const QString &why,
                                   const QByteArray &systemNumber = kSystemNumber,
                                   const QByteArray &regEnd = kTail) {
        QTest::newRow(name) << true << served << systemNumber << regEnd << "ok"
                            << "refused" << checks + u'|' + why;
    };
    run("read, exit 1", false, "exit 1", "", "");
    run("read, tool crashes", false, "crash", "", "");
    run("read, no dump file", false, "nofile", "", "");
    run("read, no dump, an old work file left", false, "nofile", "old", "");
    run("read, empty dump", false, "emptyfile", "", "Input past end of file");
    run("read, no device on the port", false, "ok", "", "");
    run("read, tool missing", false, "", "", "File not found: <tool>");
    run("read, a folder where the work file goes", false, "ok", "folder", "*");
    run("flash, exit 5", true, "exit 5", "", flashed + "dots off");
    run("flash, crash", true, "crash", "", flashed + "dots off");
    run("flash, exit 5 over a read-only work file", true, "exit 5", "read-only",
        flashed + "dots off");
    run("flash, tool missing", true, "", "", flashed + "File not found: <tool>|dots off");
    run("flash, a folder where the work file goes", true, "ok", "folder", flashed + "*|dots off");
    run("flash, the downloaded image gone", true, "ok", "gone", flashed + "*|dots off");
    run("flash, LF line ends", true, "ok", "", flashed + "dots off",
        QByteArray(image).replace("\r\n", "\n"));
    // Whole images of 999 and of 1000 characters.
    const QByteArray end = sim::formatSRecord('7', 0, {}) + "\r\n";
    QByteArray records = sim::formatSRecord('1', 0, "6bytes") + "\r\n";
    for (quint32 at = 0; at < 20 * 16; at += 16)
        records += sim::formatSRecord('3', at, "16 bytes of data") + "\r\n";
    QTest::newRow("999 characters")
        << true << records.left(records.size() - 48) + kServedRecord + "\r\n" + end.chopped(1)
        << kSystemNumber << kTail << "ok"
        << "refused"
        << "Checking update integrity|20%|Update size is incorrect";
    refused("1000 characters without the record", records + end,
            "The update holds no identity record");
    refused("system number of 7", image, "The system number \"AB12CD3\" is not 8 characters long",
            "AB12CD3");
    refused("system number of 9", image, "The system number \"AB12CD345\" is not 8 characters long",
            "AB12CD345");
    refused("no identity tail", image, "The update came without its identity tail (REGEND)",
            kSystemNumber, "");
    refused("tail of 17", image,
            "The identity tail \"00112233445566770\" is not 16 hexadecimal digits", kSystemNumber,
            kTail + '0');
}

void TestDevice::failedReadOrFlash()
{
    QFETCH(bool, flashing);
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, systemNumber);
    QFETCH(QByteArray, regEnd);
    QFETCH(QString, fault);
    QFETCH(QString, obstacle);
    QFETCH(QString, seen);

    AppTestFolder app(fault.isEmpty() ? AppTestFolder::WithoutTool : AppTestFolder::WithTool);
    app.setFaults({fault});
    QFile old(app.workFilePath());
    if (obstacle == "old" || obstacle == "read-only")
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(image) > 0);
    old.close();
    QVERIFY(obstacle != "read-only" || old.setPermissions(QFile::ReadOwner));
    QVERIFY(obstacle != "folder" || QDir(app.path()).mkpath("nf.dat/inside"));
    // The flash goes to the port it is handed as text, the read to a number.
    RecordingWindow window;
    device link(window, app.path());
    std::optional<deviceFile> objDF = received(app.path(), image);
    QVERIFY(objDF);
    objDF->strRegEnd = regEnd;
    QVERIFY(obstacle != "gone" || QFile::remove(objDF->path()));
    QVERIFY(flashing ? !link.uploadData(*objDF, QString::fromLatin1(systemNumber), "07")
                     : !link.downloadData(12));

    QVERIFY(!QFileInfo(app.workFilePath()).isFile());
    // The image stays for another try; one that is gone stays gone.
    QCOMPARE(QFileInfo(objDF->path()).size(), obstacle == "gone" ? 0 : image.size());
    seen.replace("<tool>", app.toolPath());
    QStringList expected = seen.isEmpty() ? QStringList() : seen.split(u'|');
    const qsizetype words = expected.indexOf("*");
    if (words >= 0 && !window.seen.value(words).isEmpty())
        expected[words] = window.seen[words];
    QCOMPARE(window.seen, expected);
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

// The whole road through the device link: the flash tool reads the device's
// identity, which goes into a served image with a second copy of the identity
// record near its start; the first flash fails, the image is flashed again.
// The device keeps the last copy written: each must have become its own.
void TestDevice::identityReadAndFlashRoundTrip()
{
    DevSimProcess sim(
        3, {"--system-number", kSystemNumber, "--tail", "8899AABBCCDDEEFF", "--mode", "dl"});
    QVERIFY2(sim.isReady(), qPrintable(sim.errorText()));
    qputenv("BRIMO_COM_DIR", QFile::encodeName(sim.comDir()));
    AppTestFolder app;
    QVERIFY(app.isValid());
    app.setFaults({"ok", "exit 5", "ok"});
    RecordingWindow window;
    device link(window, app.path());
    QCOMPARE(link.downloadData(3), QString::fromLatin1(kSystemNumber));
    QVERIFY(window.seen.isEmpty());

    QByteArray image = servedImage();
    image.insert(image.indexOf('\n') + 1, kServedRecord + "\r\n");
    const std::optional<deviceFile> objDF = received(app.path(), image);
    QVERIFY(objDF);
    const QString systemNumber = QString::fromLatin1(kSystemNumber);
    QVERIFY(!link.uploadData(*objDF, systemNumber, "3"));
    QVERIFY2(link.uploadData(*objDF, systemNumber, "3"), qPrintable(window.seen.join(" | ")));
    const QString flashed = "Checking update integrity|20%|Checking system number|40%|Updating "
                            "device.|60%|dots on|dots off";
    QCOMPARE(window.seen.join(u'|'), flashed + u'|' + flashed + "|Cleaning up|80%");
    // Flashed, the image is gone with the work file.
    QCOMPARE(QDir(app.path()).entryList({"nf*"}, QDir::Files), QStringList());
    // The device holds the image: a record from its middle, and its identity.
    const QByteArray flash = readFile(sim.flashPath());
    const qsizetype middle = image.indexOf("S31500040000") + 12;
    QCOMPARE(flash.mid(0x040000, 16), QByteArray::fromHex(image.mid(middle, 32)));
    QCOMPARE(flash.mid(0x080010, 16), kSystemNumber + QByteArray::fromHex(kTail));
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"

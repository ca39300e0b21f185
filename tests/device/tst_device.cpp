#include "device/device.h"
#include "device/identityrecord.h"
#include "settings/registry.h"

#include "apptestfolder.h"
#include "common/srec.h"
#include "recordingwindow.h"

#include <QtTest>

using namespace brimo;

namespace {

const QString kReadOptions = QStringLiteral(" -r -f 0x080000 -t 0x080020");
const QString kWriteOptions = QStringLiteral(" -o 0 -c 0");

// An update image as the vendor serves it: the identity record carries 0xFF.
QByteArray servedImage(qint64 size = 4096)
{
    return sim::makeImage(size, QByteArray(16, '\xFF'));
}

// Copies the work file while the tool runs: the device link deletes it as
// soon as the tool ends.
class WorkFileWatch : public QObject {
public:
    explicit WorkFileWatch(const QString &path) : m_path(path)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QFile file(m_path);
            if (file.open(QIODevice::ReadOnly))
                seen = file.readAll();
        });
        m_timer.start(20);
    }
    QByteArray seen;

private:
    QString m_path;
    QTimer m_timer;
};

} // namespace

class TestDevice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void commandLines_data();
    void commandLines();
    void uploadRefusesBeforeStartingTheTool_data();
    void uploadRefusesBeforeStartingTheTool();
    void failedIdentityReadKeepsTheSystemNumber_data();
    void failedIdentityReadKeepsTheSystemNumber();
    void failedFlashDeletesTheWorkFileAndStopsTheDots_data();
    void failedFlashDeletesTheWorkFileAndStopsTheDots();
    void flashWritesTheSameWorkFileEveryTime();
    void blockedWorkFileIsReportedAndTheToolNotStarted();

private:
    QTemporaryDir m_settings;
    QTemporaryDir m_comDir;
    int m_registryFiles = 0;
};

void TestDevice::initTestCase()
{
    QVERIFY(m_settings.isValid() && m_comDir.isValid());
    // No COM port links here: the stand-in tool finds no device and fails.
    qputenv("BRIMO_COM_DIR", QFile::encodeName(m_comDir.path()));
    qunsetenv("BRIMO_FLASHTOOL_FAULT");
}

// Every test starts with an empty settings store of its own.
void TestDevice::init()
{
    const QString file = m_settings.filePath(QStringLiteral("registry-%1").arg(++m_registryFiles));
    qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(file));
}

void TestDevice::commandLines_data()
{
    QTest::addColumn<qint16>("port");
    QTest::addColumn<QString>("storedPort");
    QTest::addColumn<QString>("folderEnd");
    QTest::addColumn<QString>("readPort");
    QTest::addColumn<QString>("writePort");

    QTest::newRow("port 12, stored 7") << qint16(12) << "7"
                                       << ""
                                       << "12"
                                       << "7";
    QTest::newRow("stored text unchanged") << qint16(3) << "03"
                                           << ""
                                           << "3"
                                           << "03";
    QTest::newRow("nothing stored") << qint16(4) << ""
                                    << ""
                                    << "4"
                                    << "4";
    QTest::newRow("folder ending in a separator") << qint16(1) << "1"
                                                  << "/"
                                                  << "1"
                                                  << "1";
}

void TestDevice::commandLines()
{
    QFETCH(qint16, port);
    QFETCH(QString, storedPort);
    QFETCH(QString, folderEnd);
    QFETCH(QString, readPort);
    QFETCH(QString, writePort);

    if (!storedPort.isEmpty())
        setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"), storedPort);
    RecordingWindow window;
    qint16 comPortNumber = port;
    const QString folder = QStringLiteral("/opt/brimo dir") + folderEnd;
    device link(window, comPortNumber, folder);
    // The stored port is read once, when the link is made.
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"),
                     QStringLiteral("9"));

    const QString tool =
        QStringLiteral("\"") + folder + "/sirfflashcl.exe\" \"" + folder + "/nf.dat\" -b 57600 -l ";
    QCOMPARE(link.readCommandLine(), tool + readPort + kReadOptions);
    QCOMPARE(link.writeCommandLine(), tool + writePort + kWriteOptions);
    QCOMPARE(link.workFilePath(), folder + "/nf.dat");
    comPortNumber = 15;
    QCOMPARE(link.readCommandLine(), tool + "15" + kReadOptions);
}

void TestDevice::uploadRefusesBeforeStartingTheTool_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("systemNumber");
    QTest::addColumn<QByteArray>("regEnd");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<int>>("progress");

    const QString integrity = QStringLiteral("Checking update integrity");
    const QString number = QStringLiteral("Checking system number");
    const QByteArray tail = "0011223344556677";
    QTest::newRow("999 characters")
        << servedImage().left(999) << "AB12CD34" << tail
        << QStringList{integrity, "Update size is incorrect"} << QList<int>{20};
    QTest::newRow("1000 characters without the record")
        << QByteArray(1000, '0') << "AB12CD34" << tail
        << QStringList{integrity, number, "The update holds no identity record"}
        << QList<int>{20, 40};
    QTest::newRow("system number of 7")
        << servedImage() << "AB12CD3" << tail
        << QStringList{integrity, number, "The system number \"AB12CD3\" is not 8 characters long"}
        << QList<int>{20, 40};
    QTest::newRow("no identity tail")
        << servedImage() << "AB12CD34" << QByteArray()
        << QStringList{integrity, number, "The update came without its identity tail (REGEND)"}
        << QList<int>{20, 40};
}

void TestDevice::uploadRefusesBeforeStartingTheTool()
{
    QFETCH(QByteArray, image);
    QFETCH(QString, systemNumber);
    QFETCH(QByteArray, regEnd);
    QFETCH(QStringList, lines);
    QFETCH(QList<int>, progress);

    AppTestFolder app;
    QVERIFY(app.isValid());
    RecordingWindow window;
    const qint16 port = 3;
    device link(window, port, app.path());
    link.objDF.load(image, true);
    link.objDF.strRegEnd = regEnd;
    link.SystemNumber(systemNumber);

    QVERIFY(!link.uploadData());
    QCOMPARE(window.lines, lines);
    QCOMPARE(window.progress, progress);
    QVERIFY(window.dots.isEmpty());
    QVERIFY(app.logLines().isEmpty());
    QVERIFY(!QFile::exists(app.workFilePath()));
    QCOMPARE(link.objDF.getData(), image);
}

void TestDevice::failedIdentityReadKeepsTheSystemNumber_data()
{
    QTest::addColumn<bool>("withTool");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<bool>("staleWorkFile");

    const QString none;
    QTest::newRow("exit 1") << true << "exit 1" << none << false;
    QTest::newRow("no dump file") << true << "nofile" << none << false;
    QTest::newRow("no dump, an old work file left") << true << "nofile" << none << true;
    QTest::newRow("tool crashes") << true << "crash" << none << false;
    QTest::newRow("empty dump") << true << "emptyfile"
                                << "Input past end of file" << false;
    QTest::newRow("no device on the port") << true << "ok" << none << false;
    QTest::newRow("tool missing") << false << ""
                                  << "File not found" << false;
}

void TestDevice::failedIdentityReadKeepsTheSystemNumber()
{
    QFETCH(bool, withTool);
    QFETCH(QString, fault);
    QFETCH(QString, logged);
    QFETCH(bool, staleWorkFile);

    AppTestFolder app(withTool ? AppTestFolder::WithTool : AppTestFolder::WithoutTool);
    app.setFaults({fault});
    if (staleWorkFile) {
        QFile stale(app.workFilePath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(servedImage());
    }
    RecordingWindow window;
    const qint16 port = 12;
    device link(window, port, app.path());
    link.SystemNumber(QStringLiteral("PREVIOUS"));

    QVERIFY(!link.downloadData());
    QCOMPARE(link.SystemNumber(), QStringLiteral("PREVIOUS"));
    QVERIFY(!QFile::exists(app.workFilePath()));
    if (logged.isEmpty()) {
        QCOMPARE(window.lines, QStringList());
    } else {
        QCOMPARE(window.lines.size(), 1);
        QVERIFY2(window.lines.first().startsWith(logged), qPrintable(window.lines.first()));
    }
    if (withTool) {
        const QStringList runs = app.logLines();
        QCOMPARE(runs.size(), 1);
        QVERIFY2(runs.first().startsWith(
                     "[" + app.workFilePath() +
                     "] [-b] [57600] [-l] [12] [-r] [-f] [0x080000] [-t] [0x080020]"),
                 qPrintable(runs.first()));
    }
}

void TestDevice::failedFlashDeletesTheWorkFileAndStopsTheDots_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("readOnlyLeftover");

    QTest::newRow("exit 5") << "exit 5" << false;
    QTest::newRow("crash") << "crash" << false;
    QTest::newRow("read-only work file left over") << "exit 5" << true;
}

void TestDevice::failedFlashDeletesTheWorkFileAndStopsTheDots()
{
    QFETCH(QString, fault);
    QFETCH(bool, readOnlyLeftover);

    AppTestFolder app;
    QVERIFY(app.isValid());
    app.setFaults({fault});
    if (readOnlyLeftover) {
        QFile leftover(app.workFilePath());
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.write("stale");
        leftover.close();
        leftover.setPermissions(QFile::ReadOwner);
    }
    RecordingWindow window;
    const qint16 port = 3;
    device link(window, port, app.path());
    link.objDF.load(servedImage(), true);
    link.objDF.strRegEnd = "0011223344556677";
    link.SystemNumber(QStringLiteral("AB12CD34"));

    QVERIFY(!link.uploadData());
    QCOMPARE(window.lines, QStringList({"Checking update integrity", "Checking system number",
                                        "Updating device."}));
    QCOMPARE(window.progress, QList<int>({20, 40, 60}));
    QCOMPARE(window.dots, QList<bool>({true, false}));
    QVERIFY(!QFile::exists(app.workFilePath()));
    if (fault != QLatin1String("crash")) {
        QCOMPARE(app.logLines(),
                 QStringList("[" + app.workFilePath() +
                             "] [-b] [57600] [-l] [3] [-o] [0] [-c] [0] -> exit 5"));
    }
}

// The container keeps the image as served, so a retry writes the same file.
void TestDevice::flashWritesTheSameWorkFileEveryTime()
{
    AppTestFolder app;
    QVERIFY(app.isValid());
    app.setFaults({"delay 300", "delay 300"});
    RecordingWindow window;
    const qint16 port = 250;
    device link(window, port, app.path());
    const QByteArray image = servedImage(1 << 20);
    link.objDF.load(image, true);
    link.objDF.strRegEnd = "0011223344556677";
    link.SystemNumber(QStringLiteral("AB12CD34"));

    QList<QByteArray> written;
    for (int run = 0; run < 2; ++run) {
        WorkFileWatch watch(app.workFilePath());
        QVERIFY(!link.uploadData());
        written.append(watch.seen);
    }
    const QByteArray expected = rewriteIdentity(image, "AB12CD34", "0011223344556677").image;
    QCOMPARE(written.at(0).size(), expected.size());
    QVERIFY(written.at(0) == expected);
    QVERIFY(written.at(1) == expected);
    QVERIFY(link.objDF.getData() == image);
    QCOMPARE(app.logLines().size(), 2);
}

// A folder where the work file should go: it can be neither removed nor
// written, whoever runs the test.
void TestDevice::blockedWorkFileIsReportedAndTheToolNotStarted()
{
    AppTestFolder app;
    QVERIFY(app.isValid());
    QVERIFY(QDir(app.path()).mkpath(QStringLiteral("nf.dat/inside")));
    RecordingWindow window;
    const qint16 port = 3;
    device link(window, port, app.path());
    link.SystemNumber(QStringLiteral("AB12CD34"));

    QVERIFY(!link.downloadData());
    QCOMPARE(window.lines.size(), 1);
    QVERIFY(!window.lines.first().isEmpty());
    QCOMPARE(link.SystemNumber(), QStringLiteral("AB12CD34"));

    window.lines.clear();
    link.objDF.load(servedImage(), true);
    link.objDF.strRegEnd = "0011223344556677";
    QVERIFY(!link.uploadData());
    QCOMPARE(window.lines.size(), 4);
    QCOMPARE(window.lines.at(2), QStringLiteral("Updating device."));
    QVERIFY(!window.lines.at(3).isEmpty());
    QCOMPARE(window.dots, QList<bool>({true, false}));
    QVERIFY(app.logLines().isEmpty());
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"

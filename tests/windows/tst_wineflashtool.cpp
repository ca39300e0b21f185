// The device link against a Windows "sirfflashcl.exe" run through Wine: the
// tool logs how its command line arrived and handles the work file as the real
// one does. Runs only in a throw-away Wine prefix (scripts/test-windows).

#include "device/device.h"
#include "platform/comport.h"
#include "settings/registry.h"

#include "common/srec.h"
#include "ptyline.h"
#include "recordingwindow.h"

#include <QtTest>

using namespace brimo;

namespace {

// The rest of the last line of the tool's log that starts with key.
QString lastLogged(const QString &folder, const QString &key)
{
    QFile file(folder + QStringLiteral("/sirfflashcl.log"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<no log>");
    QStringList lines = QString::fromLatin1(file.readAll()).split(u'\n').filter(key);
    return lines.isEmpty() ? "<nothing on " + key + ">" : lines.last().mid(key.size());
}

} // namespace

class TestWineFlashTool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void bothCommandLinesRunThroughWine_data();
    void bothCommandLinesRunThroughWine();
    void comPortIsTheOneWineNames();

private:
    QTemporaryDir m_root;
    int m_tests = 0;
};

void TestWineFlashTool::initTestCase()
{
    if (qEnvironmentVariable("WINEPREFIX").isEmpty())
        QFAIL("needs a throw-away WINEPREFIX: run scripts/test-windows");
    QVERIFY2(QFile::exists(qEnvironmentVariable("BRIMO_WINDOWS_FLASHTOOL")),
             "BRIMO_WINDOWS_FLASHTOOL names no Windows flash tool");
    QVERIFY(m_root.isValid());
    qunsetenv("BRIMO_COM_DIR");
}

// The fault "no wine" names a wine that is not there.
void TestWineFlashTool::bothCommandLinesRunThroughWine_data()
{
    QTest::addColumn<bool>("flashing");
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("result");

    const auto row = [](const char *name, bool flashing, const QString &folderName,
                        const char *fault, bool result) {
        QTest::newRow(name) << flashing << folderName << QString(fault) << result;
    };
    row("read", false, "app", "", true);
    row("read, blanks in the folder", false, "Brimo update utility", "", true);
    row("read, letters beyond ASCII", false, QStringLiteral("Brimo \u00dcber"), "", true);
    row("read, exit 1", false, "app", "exit 1", false);
    row("read, exit 0 without a dump", false, "app", "exit 0", false);
    row("read, no wine", false, "app", "no wine", false);
    row("flash", true, "Brimo update utility", "", true);
    row("flash, exit 5", true, "app", "exit 5", false);
    row("flash, exit 255", true, "app", "exit 255", false);
    row("flash, no wine", true, "app", "no wine", false);
}

void TestWineFlashTool::bothCommandLinesRunThroughWine()
{
    QFETCH(bool, flashing);
    QFETCH(QString, folderName);
    QFETCH(QString, fault);
    QFETCH(bool, result);

    const QString folder = m_root.filePath(QString::number(++m_tests) + u'/' + folderName);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(qEnvironmentVariable("BRIMO_WINDOWS_FLASHTOOL"),
                        folder + QStringLiteral("/sirfflashcl.exe")));
    // A settings store of its own, storing COM 9 for the flash.
    qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(folder + QStringLiteral("/registry")));
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"), "9");
    const bool noWine = fault == QLatin1String("no wine");
    if (noWine)
        qputenv("BRIMO_WINE", QFile::encodeName(m_root.filePath(QStringLiteral("no-wine/wine"))));
    else
        qunsetenv("BRIMO_WINE");
    QFile faults(folder + QStringLiteral("/sirfflashcl.faults"));
    QVERIFY(fault.isEmpty() || noWine ||
            (faults.open(QIODevice::WriteOnly) && faults.write(fault.toUtf8()) > 0));
    faults.close();
    RecordingWindow window;
    const qint16 port = flashing ? 4 : 9; // flashed is the stored port
    device link(window, folder);
    link.SystemNumber(QStringLiteral("SET00001")); // not the one the tool reads
    link.objDF.load(sim::makeImage(4096, QByteArray(16, '\xFF')));
    link.objDF.strRegEnd = "0011223344556677";

    QCOMPARE(flashing ? link.uploadData(port) : link.downloadData(port), result);
    QString workFile = folder + QStringLiteral("/nf.dat");
    QVERIFY(!QFile::exists(workFile));
    QStringList lines;
    if (flashing)
        lines << "Checking update integrity"
              << "Checking system number"
              << "Updating device.";
    if (noWine)
        lines << "wine is needed to run the Windows program " + folder + "/sirfflashcl.exe";
    if (flashing && result)
        lines << "Cleaning up";
    QCOMPARE(window.lines, lines);
    QCOMPARE(link.SystemNumber(), QString(result && !flashing ? "W64T00L1" : "SET00001"));
    if (noWine) {
        QVERIFY(!QFile::exists(folder + QStringLiteral("/sirfflashcl.log")));
        return;
    }
    QCOMPARE(lastLogged(folder, "exit "), fault.isEmpty() ? "0" : fault.mid(5));
    // The tool sees the work file as a Windows path on the root folder's drive.
    workFile = QStringLiteral("Z:") + workFile.replace(u'/', u'\\');
    const QString options = flashing ? "-o] [0] [-c] [0]" : "-r] [-f] [0x080000] [-t] [0x080020]";
    QCOMPARE(lastLogged(folder, "arguments: "),
             "[" + workFile + "] [-b] [57600] [-l] [9] [" + options);
    if (result && flashing) {
        QCOMPARE(window.dots, QList<bool>({true, false}));
        QCOMPARE(lastLogged(folder, "read "), QStringLiteral("%1 bytes").arg(link.objDF.size()));
    } else if (result) {
        QCOMPARE(link.objDF.getData(), QByteArray("BRIMO\n\0ID-BLOCK\xFFW64T00L1ZZZZZZZZ", 32));
    }
}

// The utility names COM n by the Wine prefix's link, as the Windows tool
// opening COM n through Wine does.
void TestWineFlashTool::comPortIsTheOneWineNames()
{
    const PtyLine line(qEnvironmentVariable("WINEPREFIX") + QStringLiteral("/dosdevices"), 9);
    QVERIFY(line.isValid());
    QCOMPARE(comPortSystemName(9), line.slavePath());
}

QTEST_GUILESS_MAIN(TestWineFlashTool)
#include "tst_wineflashtool.moc"

// The device link against a Windows "sirfflashcl.exe" run through Wine: the
// tool records how its command line arrived and handles the work file as the
// real one does. Runs only in a throw-away Wine prefix (scripts/test-windows),
// because one case moves the prefix's root drive.

#include "device/device.h"
#include "platform/comport.h"
#include "settings/registry.h"

#include "common/srec.h"
#include "ptyline.h"
#include "recordingwindow.h"

#include <QtTest>

using namespace brimo;

namespace {

// Set before a run; differs from what the tool reads, so a kept number shows.
const QString kSystemNumber = QStringLiteral("SET00001");

// What the tool's log says about its runs, by the start of each line.
class ToolLog {
public:
    explicit ToolLog(const QString &folder)
    {
        QFile file(folder + QStringLiteral("/sirfflashcl.log"));
        if (file.open(QIODevice::ReadOnly))
            m_lines = QString::fromLatin1(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    // The rest of the last line that starts with key.
    QString last(const QString &key) const
    {
        for (auto line = m_lines.crbegin(); line != m_lines.crend(); ++line) {
            if (line->startsWith(key))
                return line->mid(key.size());
        }
        return QStringLiteral("<no line starting with \"%1\">").arg(key);
    }

private:
    QStringList m_lines;
};

// The dump the tool writes: header, system number, tail.
QByteArray expectedDump(const QString &systemNumber)
{
    QByteArray dump("BRIMO\n\0ID-BLOCK", 15);
    dump.append('\xFF');
    dump.append(systemNumber.toLatin1());
    dump.append(8, '\x5A');
    return dump;
}

QString readArguments(const QString &workFile, int port)
{
    return QStringLiteral("[%1] [-b] [57600] [-l] [%2] [-r] [-f] [0x080000] [-t] [0x080020]")
        .arg(workFile)
        .arg(port);
}

QString writeArguments(const QString &workFile, const QString &port)
{
    return QStringLiteral("[%1] [-b] [57600] [-l] [%2] [-o] [0] [-c] [0]").arg(workFile, port);
}

// Readies a device link to flash: a system number and an image as served.
QByteArray prepareFlash(device &link)
{
    link.SystemNumber(kSystemNumber);
    const QByteArray image = sim::makeImage(4096, QByteArray(16, '\xFF'));
    link.objDF.load(image);
    link.objDF.strRegEnd = "0011223344556677";
    return image;
}

// Moves the prefix's root folder from Z: to another letter for one scope.
class RootDrive {
public:
    explicit RootDrive(const QString &letter)
    {
        if (letter == QLatin1String("z"))
            return;
        m_moved = devices(QStringLiteral("z:"));
        m_link = devices(letter + u':');
        QFile::remove(m_moved);
        QFile::link(QStringLiteral("/"), m_link);
    }
    ~RootDrive()
    {
        if (m_link.isEmpty())
            return;
        QFile::remove(m_link);
        QFile::link(QStringLiteral("/"), m_moved);
    }
    RootDrive(const RootDrive &) = delete;
    RootDrive &operator=(const RootDrive &) = delete;

private:
    static QString devices(const QString &name)
    {
        return qEnvironmentVariable("WINEPREFIX") + QStringLiteral("/dosdevices/") + name;
    }
    QString m_moved;
    QString m_link;
};

} // namespace

class TestWineFlashTool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityIsReadThroughWine_data();
    void identityIsReadThroughWine();
    void exitCodesArrive_data();
    void exitCodesArrive();
    void missingWineIsOneLogLine_data();
    void missingWineIsOneLogLine();
    void toolOpensThePortTheUtilityNames_data();
    void toolOpensThePortTheUtilityNames();

private:
    // A fresh application folder named name, holding the Windows tool.
    QString makeAppFolder(const QString &name);
    void setFault(const QString &folder, const QString &fault);

    QTemporaryDir m_root;
    QString m_tool;
    int m_folders = 0;
};

void TestWineFlashTool::initTestCase()
{
    if (qEnvironmentVariable("WINEPREFIX").isEmpty())
        QFAIL("needs a throw-away WINEPREFIX: run scripts/test-windows");
    m_tool = qEnvironmentVariable("BRIMO_WINDOWS_FLASHTOOL");
    QVERIFY2(QFile::exists(m_tool), "BRIMO_WINDOWS_FLASHTOOL names no Windows flash tool");
    QVERIFY(m_root.isValid());
    qunsetenv("BRIMO_FLASHTOOL_FAULT");
    qunsetenv("BRIMO_COM_DIR");
}

// Every test starts with an empty settings store of its own, the wine found
// on the path and the tool's own system number.
void TestWineFlashTool::init()
{
    qunsetenv("BRIMO_WINE");
    qunsetenv("BRIMO_FLASHTOOL_SYSTEM");
    const QString file = m_root.filePath(QStringLiteral("registry-%1").arg(++m_folders));
    qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(file));
}

QString TestWineFlashTool::makeAppFolder(const QString &name)
{
    const QString folder = m_root.filePath(QString::number(m_folders) + u'/' + name);
    if (!QDir().mkpath(folder) || !QFile::copy(m_tool, folder + QStringLiteral("/sirfflashcl.exe")))
        return QString();
    return folder;
}

void TestWineFlashTool::setFault(const QString &folder, const QString &fault)
{
    QFile file(folder + QStringLiteral("/sirfflashcl.faults"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(fault.toLatin1() + '\n');
}

void TestWineFlashTool::identityIsReadThroughWine_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("rootDrive");
    QTest::addColumn<QString>("systemNumber");
    QTest::addColumn<qint16>("port");

    QTest::newRow("plain folder") << "app"
                                  << "z"
                                  << "W64T00L1" << qint16(3);
    QTest::newRow("blanks in the folder") << "Brimo update utility"
                                          << "z"
                                          << "AB12CD34" << qint16(12);
    QTest::newRow("letters beyond ASCII in the folder") << QStringLiteral("Brimo \u00dcber") << "z"
                                                        << "ZZ09YY87" << qint16(11);
    QTest::newRow("root folder on drive Y:") << "app"
                                             << "y"
                                             << "Y0000001" << qint16(16);
}

void TestWineFlashTool::identityIsReadThroughWine()
{
    QFETCH(QString, folderName);
    QFETCH(QString, rootDrive);
    QFETCH(QString, systemNumber);
    QFETCH(qint16, port);

    const QString folder = makeAppFolder(folderName);
    QVERIFY(!folder.isEmpty());
    qputenv("BRIMO_FLASHTOOL_SYSTEM", systemNumber.toLatin1());
    const RootDrive drive(rootDrive);

    RecordingWindow window;
    device link(window, port, folder);
    QVERIFY(link.downloadData());

    QCOMPARE(link.SystemNumber(), systemNumber);
    QCOMPARE(link.objDF.getData(), expectedDump(systemNumber));
    QVERIFY(!QFile::exists(link.workFilePath()));
    QCOMPARE(window.lines, QStringList());

    // The tool sees Windows paths on the drive that holds the root folder,
    // and opens the work file under them.
    const QString windowsWorkFile =
        rootDrive.toUpper() + u':' + QString(link.workFilePath()).replace(u'/', u'\\');
    const ToolLog log(folder);
    QCOMPARE(log.last(QStringLiteral("arguments: ")), readArguments(windowsWorkFile, port));
    QCOMPARE(log.last(QStringLiteral("work file: ")), windowsWorkFile);
    QCOMPARE(log.last(QStringLiteral("wrote ")), QStringLiteral("32 bytes"));
    QCOMPARE(log.last(QStringLiteral("exit ")), QStringLiteral("0"));
}

void TestWineFlashTool::exitCodesArrive_data()
{
    QTest::addColumn<bool>("flashing");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("lines");

    const QStringList flashStart = {QStringLiteral("Checking update integrity"),
                                    QStringLiteral("Checking system number"),
                                    QStringLiteral("Updating device.")};
    QTest::newRow("read, exit 1") << false << "exit 1" << false << QStringList();
    QTest::newRow("read, exit 0 without a dump") << false << "exit 0" << false << QStringList();
    QTest::newRow("flash, exit 0")
        << true << "ok" << true << flashStart + QStringList{QStringLiteral("Cleaning up")};
    QTest::newRow("flash, exit 5") << true << "exit 5" << false << flashStart;
    QTest::newRow("flash, exit 255") << true << "exit 255" << false << flashStart;
}

void TestWineFlashTool::exitCodesArrive()
{
    QFETCH(bool, flashing);
    QFETCH(QString, fault);
    QFETCH(bool, result);
    QFETCH(QStringList, lines);

    const QString folder = makeAppFolder(QStringLiteral("app"));
    QVERIFY(!folder.isEmpty());
    setFault(folder, fault);
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"), "7");
    RecordingWindow window;
    const qint16 port = 2; // held by reference, as the program's shared port is
    device link(window, port, folder);
    const QByteArray image = prepareFlash(link);

    QCOMPARE(flashing ? link.uploadData() : link.downloadData(), result);
    QCOMPARE(window.lines, lines);
    QCOMPARE(link.SystemNumber(), kSystemNumber);
    QVERIFY(!QFile::exists(link.workFilePath()));
    const ToolLog log(folder);
    QCOMPARE(log.last(QStringLiteral("exit ")), fault.startsWith("exit ") ? fault.mid(5) : "0");
    if (flashing) {
        QCOMPARE(window.dots, QList<bool>({true, false}));
        // Only a successful run reaches the image; it reads every byte of it.
        if (result) {
            const QString workFile =
                QStringLiteral("Z:") + link.workFilePath().replace(u'/', u'\\');
            QCOMPARE(log.last(QStringLiteral("arguments: ")), writeArguments(workFile, "7"));
            QCOMPARE(log.last(QStringLiteral("read ")),
                     QStringLiteral("%1 bytes").arg(image.size()));
        }
    }
}

void TestWineFlashTool::missingWineIsOneLogLine_data()
{
    QTest::addColumn<bool>("flashing");
    QTest::newRow("identity read") << false;
    QTest::newRow("flash") << true;
}

void TestWineFlashTool::missingWineIsOneLogLine()
{
    QFETCH(bool, flashing);

    const QString folder = makeAppFolder(QStringLiteral("app"));
    QVERIFY(!folder.isEmpty());
    qputenv("BRIMO_WINE", QFile::encodeName(m_root.filePath(QStringLiteral("no-wine/wine"))));
    RecordingWindow window;
    const qint16 port = 3;
    device link(window, port, folder);
    prepareFlash(link);

    QVERIFY(!(flashing ? link.uploadData() : link.downloadData()));
    const QString line = QStringLiteral("wine is needed to run the Windows program ") + folder +
                         QStringLiteral("/sirfflashcl.exe");
    QCOMPARE(window.lines.filter(QStringLiteral("wine")), QStringList{line});
    QCOMPARE(window.lines.last(), line);
    QVERIFY(!QFile::exists(link.workFilePath()));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/sirfflashcl.log")));
}

void TestWineFlashTool::toolOpensThePortTheUtilityNames_data()
{
    QTest::addColumn<bool>("flashing");
    QTest::newRow("identity read, the current port") << false;
    QTest::newRow("flash, the stored port") << true;
}

// COM 9 is a line in the Wine prefix: the utility names it by the prefix's
// link, and the Windows tool opens it through Wine and sets its speed.
void TestWineFlashTool::toolOpensThePortTheUtilityNames()
{
    QFETCH(bool, flashing);

    const PtyLine line(qEnvironmentVariable("WINEPREFIX") + QStringLiteral("/dosdevices"), 9);
    QVERIFY(line.isValid());
    QCOMPARE(comPortSystemName(9), line.slavePath());
    const QString folder = makeAppFolder(QStringLiteral("app"));
    QVERIFY(!folder.isEmpty());
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"), "9");
    RecordingWindow window;
    const qint16 port = flashing ? 4 : 9;
    device link(window, port, folder);
    prepareFlash(link);

    QVERIFY(flashing ? link.uploadData() : link.downloadData());
    QCOMPARE(ToolLog(folder).last(QStringLiteral("port: ")), QStringLiteral("COM9 at 57600"));
    const termios settings = line.settings();
    QCOMPARE(cfgetospeed(&settings), speed_t(B57600));
}

QTEST_GUILESS_MAIN(TestWineFlashTool)
#include "tst_wineflashtool.moc"

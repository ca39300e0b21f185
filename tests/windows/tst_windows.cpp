// The utility's own layers over Windows' process, registry and serial
// functions. Run under Wine by scripts/test-windows, with a scratch registry
// (BRIMO_REGISTRY_SCRATCH=1) and the simulated device on the COM port that
// BRIMO_DEVICE_PORT names.

#include "device/detect.h"
#include "platform/commandrunner.h"
#include "platform/keepawake.h"
#include "platform/serialcontrol.h"
#include "platform/singleinstance.h"
#include "settings/registry.h"

#include <QtTest>

#include <memory>

#include <windows.h>

using namespace brimo;

namespace {

// Where a 64-bit program sees what 32-bit programs keep below Software.
const wchar_t *const kSeenBy64Bit = L"Software\\WOW6432Node\\Brimo";

// Stores a value as the earlier 32-bit utility left it.
bool storeAs32Bit(const char *name, DWORD type, const QByteArray &bytes)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSeenBy64Bit, 0, nullptr, 0,
                        KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result =
        RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(bytes.constData()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

// The value's type and bytes as "1:text", seen from the 64-bit view;
// "missing" when there is none.
QByteArray rawValue(const wchar_t *path, const char *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return "missing";
    DWORD type = 0;
    QByteArray bytes(256, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    const LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(bytes.data()), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? QByteArray::number(type) + ':' + bytes.left(size) : "missing";
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLineArrivesAsWritten_data();
    void commandLineArrivesAsWritten();
    void settingsOfThe32BitUtilityAreFound_data();
    void settingsOfThe32BitUtilityAreFound();
    void settingsAreWrittenWhereThe32BitUtilityKeptThem();
    void refusedPortIsTheProbesSilentFailure_data();
    void refusedPortIsTheProbesSilentFailure();
    void flashToolHoldsTheSingleCopyLock();
    void systemKeptAwakeUntilLetGo();

private:
    QTemporaryDir m_root;
};

void TestWindows::initTestCase()
{
    QVERIFY2(qEnvironmentVariable("BRIMO_REGISTRY_SCRATCH") == u"1",
             "changes HKEY_LOCAL_MACHINE: set BRIMO_REGISTRY_SCRATCH=1 only for a throw-away one");
    QVERIFY(qEnvironmentVariableIntValue("BRIMO_DEVICE_PORT") > 0);
    QVERIFY(m_root.isValid());
}

// The flash tool splits its command line itself, so it must get the text the
// utility wrote, from a folder with blanks or letters beyond ASCII too.
void TestWindows::commandLineArrivesAsWritten_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::newRow("plain") << "app";
    QTest::newRow("blanks") << "Brimo update utility";
    QTest::newRow("beyond ASCII") << QStringLiteral("Brimo \u00dcber \u0141\u00f3d\u017a");
}

void TestWindows::commandLineArrivesAsWritten()
{
    QFETCH(QString, folderName);

    const QString folder = QDir::toNativeSeparators(m_root.filePath(folderName)) + u'\\';
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/commandline-echo.exe",
                        folder + "sirfflashcl.exe"));
    const QString line = u'"' + folder + "sirfflashcl.exe\" \"" + folder +
                         "nf.dat\" -b 57600 -l 3 -r -f 0x080000 -t 0x080020";

    const CommandResult result = runHidden(line);
    QVERIFY2(result.started, qPrintable(result.errorText));
    QCOMPARE(result.exitCode, 0);
    QFile written(folder + "commandline.txt");
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(written.readAll()), line);
}

// Every read passes "d" as its default: only a value of another type gives it.
void TestWindows::settingsOfThe32BitUtilityAreFound_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("string") << int(REG_SZ) << QByteArray("7", 2) << "7";
    QTest::newRow("NUL in the middle") << int(REG_SZ) << QByteArray("ab\0c", 5) << "ab";
    QTest::newRow("no terminating NUL") << int(REG_SZ) << QByteArray("12") << "12";
    QTest::newRow("number type") << int(REG_DWORD) << QByteArray("\x03\0\0\0", 4) << "d";
}

void TestWindows::settingsOfThe32BitUtilityAreFound()
{
    QFETCH(int, type);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);

    QVERIFY(storeAs32Bit("COMPort", static_cast<DWORD>(type), bytes));
    QCOMPARE(getRegistryValue(kHkeyLocalMachine, kSettingsKey, "COMPort", "d"), expected);
}

void TestWindows::settingsAreWrittenWhereThe32BitUtilityKeptThem()
{
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, "ProxyPort", "8080");
    QCOMPARE(rawValue(kSeenBy64Bit, "ProxyPort"), QByteArray("1:8080", 7));
    QCOMPARE(rawValue(L"Software\\Brimo", "ProxyPort"), QByteArray("missing"));
}

// A port Windows will not open is a port without a device, without a word.
// (Wine lets two programs open one port, so a port in use cannot be had here.)
void TestWindows::refusedPortIsTheProbesSilentFailure_data()
{
    QTest::addColumn<qint16>("port");
    QTest::addColumn<bool>("found");
    QTest::newRow("the device's port")
        << static_cast<qint16>(qEnvironmentVariableIntValue("BRIMO_DEVICE_PORT")) << true;
    QTest::newRow("no such port") << qint16(30) << false;
}

void TestWindows::refusedPortIsTheProbesSilentFailure()
{
    QFETCH(qint16, port);
    QFETCH(bool, found);

    SerialControl comm;
    QCOMPARE(probePort(comm, port, 2), found);
    QVERIFY(!comm.portOpen());
}

// A copy started while a flash tool that the utility left still writes must
// not take the port: the tool inherits the lock and holds it while it runs.
void TestWindows::flashToolHoldsTheSingleCopyLock()
{
    const QString lock = m_root.filePath("brimo-update.lock"),
                  tool = m_root.filePath("sirfflashcl.exe");
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/../app/sirfflashcl.exe", tool));
    auto utility = std::make_unique<SingleInstance>(lock);
    QVERIFY(utility->tryLock() && !SingleInstance(lock).tryLock());
    // The tool waits two seconds before it finds no such port.
    qputenv("BRIMO_FLASHTOOL_FAULT", "delay 2000");
    bool heldByTheTool = false;
    QTimer::singleShot(0, [&] {
        utility.reset();
        heldByTheTool = !SingleInstance(lock).tryLock();
    });
    const CommandResult run = runHidden(u'"' + QDir::toNativeSeparators(tool) + "\" x");
    qunsetenv("BRIMO_FLASHTOOL_FAULT");
    QVERIFY2(run.started, qPrintable(run.errorText));
    QVERIFY(heldByTheTool);
    // Wine's console host for the tool inherits the handle too, and ends a
    // moment after the tool.
    QTRY_VERIFY(SingleInstance(lock).tryLock());
}

// The state the thread asks for is handed back by the next call: the hold's
// while it is in place, the plain one once let go before the program ends at
// once (as its owner lets go when the run ends).
void TestWindows::systemKeptAwakeUntilLetGo()
{
    const KeepAwake awake(KeepAwake::Shutdown::Blocked);
    QCOMPARE(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED),
             EXECUTION_STATE(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
    KeepAwake::releaseBeforeExit();
    QCOMPARE(SetThreadExecutionState(ES_CONTINUOUS), EXECUTION_STATE(ES_CONTINUOUS));
}

QTEST_GUILESS_MAIN(TestWindows)
#include "tst_windows.moc"

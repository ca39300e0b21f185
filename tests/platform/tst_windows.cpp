// The utility's own layers over Windows' process, registry and serial
// functions, and the program's version resource. Run under Wine by
// scripts/test-windows, with a scratch registry (BRIMO_REGISTRY_SCRATCH=1).
// The probe on Wine's COM ports is left to its whole updates there.

#include "brimoversion.h"
#include "device/device.h"
#include "device/identityrecord.h"
#include "image/devicefile.h"
#include "platform/commandrunner.h"
#include "platform/comports.h"
#include "platform/keepawake.h"
#include "platform/singleinstance.h"
#include "settings/settingsstore.h"

#include "common/srec.h"

#include <QtTest>

#include <algorithm>
#include <memory>
#include <optional>

#include <windows.h>

using namespace brimo;

namespace {

// Where a 64-bit program sees what 32-bit programs keep below Software.
const wchar_t *const kSeenBy64Bit = L"Software\\WOW6432Node\\Brimo";
// Where Windows kept what the earlier 32-bit utility wrote there, when it ran
// without administrator rights.
const wchar_t *const kVirtualStore =
    L"Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Brimo";

// Each "name=text" as a string value with its NUL, as the earlier 32-bit
// utility, or Windows for it, left them; no key for none.
bool storeTexts(HKEY root, const wchar_t *path, const QStringList &values)
{
    HKEY key = nullptr;
    if (values.isEmpty() || RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY,
                                            nullptr, &key, nullptr) != ERROR_SUCCESS)
        return values.isEmpty();
    bool stored = true;
    for (const QString &value : values) {
        const QByteArray text = value.section(u'=', 1).toLatin1();
        stored = stored && RegSetValueExA(key, qPrintable(value.section(u'=', 0, 0)), 0, REG_SZ,
                                          reinterpret_cast<const BYTE *>(text.constData()),
                                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return stored;
}

// A key's values as sorted "name=text", "name=?" for one that is not a string
// with its NUL; "no key" when there is none.
QStringList textsOf(HKEY root, const wchar_t *path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return {QStringLiteral("no key")};
    QStringList texts;
    char name[256], data[256];
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    for (DWORD i = 0; RegEnumValueA(key, i, name, &nameSize, nullptr, &type,
                                    reinterpret_cast<BYTE *>(data), &dataSize) == ERROR_SUCCESS;
         ++i, nameSize = sizeof name, dataSize = sizeof data) {
        const bool text = type == REG_SZ && qstrnlen(data, dataSize) + 1 == dataSize;
        texts << QString::fromLatin1(name) + u'=' + (text ? QString::fromLatin1(data) : "?");
    }
    RegCloseKey(key);
    texts.sort();
    return texts;
}

// The version resource of the utility's program, built beside these checks.
QByteArray programVersionInfo()
{
    const std::wstring program =
        (QCoreApplication::applicationDirPath() + QStringLiteral(BRIMO_PROGRAM_FROM_TESTS))
            .toStdWString();
    QByteArray info(static_cast<qsizetype>(GetFileVersionInfoSizeW(program.c_str(), nullptr)),
                    '\0');
    if (info.isEmpty() ||
        !GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
        return {};
    return info;
}

// A string of the version resource, in the language and code page its
// translation table names first, as Explorer looks it up.
QString versionString(const QByteArray &info, const QString &name)
{
    void *found = nullptr;
    UINT size = 0;
    if (name == "\\" && VerQueryValueW(info.constData(), L"\\", &found, &size)) {
        const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(found);
        return QStringLiteral("%1 %2.%3 %4.%5")
            .arg(fixed->dwSignature, 0, 16)
            .arg(fixed->dwFileVersionMS)
            .arg(fixed->dwFileVersionLS)
            .arg(fixed->dwProductVersionMS)
            .arg(fixed->dwProductVersionLS);
    }
    if (!VerQueryValueW(info.constData(), L"\\VarFileInfo\\Translation", &found, &size) || size < 4)
        return QStringLiteral("no translation");
    const auto *translation = static_cast<const WORD *>(found);
    const QString block = QStringLiteral("\\StringFileInfo\\%1%2\\")
                              .arg(translation[0], 4, 16, QLatin1Char('0'))
                              .arg(translation[1], 4, 16, QLatin1Char('0'));
    if (!VerQueryValueW(info.constData(), (block + name).toStdWString().c_str(), &found, &size))
        return QStringLiteral("missing");
    return QString::fromWCharArray(static_cast<const wchar_t *>(found)).left(int(size));
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void commandLinesArriveAsWritten_data();
    void commandLinesArriveAsWritten();
    void settingsInTheVirtualStoreAreTakenOverOnce_data();
    void settingsInTheVirtualStoreAreTakenOverOnce();
    void versionResourceNamesTheUtility_data();
    void versionResourceNamesTheUtility();
    void flashToolHoldsTheSingleCopyLock();
    void systemKeptAwakeUntilLetGo();
    void comPortsListedInNumberOrder();

private:
    QTemporaryDir m_root;
};

void TestWindows::initTestCase()
{
    QVERIFY2(qEnvironmentVariable("BRIMO_REGISTRY_SCRATCH") == u"1",
             "changes HKEY_LOCAL_MACHINE: set BRIMO_REGISTRY_SCRATCH=1 only for a throw-away one");
    QVERIFY(m_root.isValid());
}

// Each check starts without the utility's settings.
void TestWindows::init()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSeenBy64Bit);
    RegDeleteTreeW(HKEY_CURRENT_USER, kVirtualStore);
}

// The flash tool splits its command line itself, so it must get the device
// link's text, from a folder with blanks or letters beyond ASCII too: the
// stand-in logs what Windows handed it, and ends at once.
void TestWindows::commandLinesArriveAsWritten_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::newRow("blanks") << "Brimo update utility";
    QTest::newRow("beyond ASCII") << QStringLiteral("Brimo \u00dcber \u0141\u00f3d\u017a");
}

void TestWindows::commandLinesArriveAsWritten()
{
    QFETCH(QString, folderName);

    const QString folder = QDir::toNativeSeparators(m_root.filePath(folderName)) + u'\\';
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/../app/sirfflashcl.exe",
                        folder + "sirfflashcl.exe"));
    qputenv("BRIMO_FLASHTOOL_FAULT", "exit 1");
    Places places;
    places.appFolder = m_root.filePath(folderName);
    device link(places);
    ImageReceiver receiver(folder);
    QString problem;
    QVERIFY(receiver.add(sim::makeImage(4096, QByteArray(16, '\xFF'))));
    const std::optional<deviceFile> objDF = receiver.finish("0011223344556677", &problem);
    QVERIFY2(objDF, qPrintable(problem));
    const QByteArray record = identityRecord("AB12CD34", objDF->strRegEnd);
    QVERIFY(!link.downloadData(3).systemNumber && !link.uploadData(*objDF, record, "4").written);
    qunsetenv("BRIMO_FLASHTOOL_FAULT");
    // Renamed to the work file for the run, the image is back for another.
    QVERIFY(QFile::exists(objDF->path()) && !QFile::exists(folder + "nf.dat"));
    // A download cut off leaves no file: Windows names it.
    {
        ImageReceiver cut(folder);
        QVERIFY(cut.add("S0030000FC\n"));
    }
    QCOMPARE(QDir(folder).entryList({"nf-*"}), QStringList{QFileInfo(objDF->path()).fileName()});

    QFile log(folder + "sirfflashcl.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString tool = u'"' + folder + "sirfflashcl.exe\" \"" + folder + "nf.dat\" -b 57600 -l ";
    QCOMPARE(QString::fromUtf8(log.readAll()),
             tool + "3 -r -f 0x080000 -t 0x080020 -> exit 1\n" + tool + "4 -o 0 -c 0 -> exit 1\n");
}

// The settings live where the earlier 32-bit utility kept them: read from
// there, written there as strings with their NUL. What Windows kept of them in
// the user's VirtualStore moves to the machine's key before the first read or
// write, unless the machine's key already holds settings of its own. How a
// value's bytes read is the store's own (tests/settings).
void TestWindows::settingsInTheVirtualStoreAreTakenOverOnce_data()
{
    QTest::addColumn<QStringList>("machine");
    QTest::addColumn<QStringList>("virtualStore");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QStringList>("machineAfter");
    const QStringList old{"COMPort=4", "ProxyServer=gate"};
    QTest::newRow("machine's key empty: taken over") << QStringList() << old << ""
                                                     << "4" << old;
    QTest::newRow("a write first: taken over before it")
        << QStringList() << old << "ProxyPort=8080"
        << "4" << QStringList{"COMPort=4", "ProxyPort=8080", "ProxyServer=gate"};
    QTest::newRow("machine's key in use: left alone")
        << QStringList{"COMPort=7"} << old << "ProxyPort=81"
        << "7" << QStringList{"COMPort=7", "ProxyPort=81"};
    QTest::newRow("nothing anywhere: no key made") << QStringList() << QStringList() << ""
                                                   << "" << QStringList{"no key"};
}

void TestWindows::settingsInTheVirtualStoreAreTakenOverOnce()
{
    QFETCH(QStringList, machine);
    QFETCH(QStringList, virtualStore);
    QFETCH(QString, written);
    QFETCH(QString, read);
    QFETCH(QStringList, machineAfter);

    QVERIFY(storeTexts(HKEY_LOCAL_MACHINE, kSeenBy64Bit, machine));
    QVERIFY(storeTexts(HKEY_CURRENT_USER, kVirtualStore, virtualStore));
    RegistryStore store({});
    if (!written.isEmpty())
        store.setValue(written.section(u'=', 0, 0), written.section(u'=', 1));
    QCOMPARE(store.value(kComPortValue), read);
    QCOMPARE(textsOf(HKEY_LOCAL_MACHINE, kSeenBy64Bit), machineAfter);
}

// What Explorer's Details tab, the task manager and the prompt of User Account
// Control show, from the same source as the about window's version.
void TestWindows::versionResourceNamesTheUtility_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    // The numbers Windows compares (an installer's upgrade, the file's version).
    const QString numbers = QStringLiteral("%1.%2")
                                .arg(MAKELONG(BRIMO_VERSION_MINOR, BRIMO_VERSION_MAJOR))
                                .arg(MAKELONG(0, BRIMO_VERSION_PATCH));
    const QStringList rows{
        "CompanyName=" BRIMO_COMPANY,           "ProductName=Brimo update utility",
        "FileDescription=Brimo update utility", "ProductVersion=" BRIMO_VERSION_TEXT,
        "FileVersion=" BRIMO_VERSION_TEXT,      "LegalCopyright=" BRIMO_COPYRIGHT,
        "OriginalFilename=brimo-update.exe",    "\\=feef04bd " + numbers + u' ' + numbers};
    for (const QString &row : rows)
        QTest::newRow(qPrintable(row.section(u'=', 0, 0)))
            << row.section(u'=', 0, 0) << row.section(u'=', 1);
}

void TestWindows::versionResourceNamesTheUtility()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);

    const QByteArray info = programVersionInfo();
    QVERIFY2(!info.isEmpty(), "the program has no version resource");
    QCOMPARE(versionString(info, name), expected);
}

// A copy started while a flash tool that the utility left still writes must
// not take the port: the tool inherits the lock and holds it while it runs.
void TestWindows::flashToolHoldsTheSingleCopyLock()
{
    const QString lock = m_root.filePath("brimo-update.lock"),
                  tool = m_root.filePath("sirfflashcl.exe");
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/../app/sirfflashcl.exe", tool));
    auto utility = std::make_unique<SingleInstance>(lock);
    QVERIFY(utility->tryLock() == SingleInstance::Lock::Taken &&
            SingleInstance(lock).tryLock() == SingleInstance::Lock::Held);
    // The tool waits two seconds before it finds no such port.
    qputenv("BRIMO_FLASHTOOL_FAULT", "delay 2000");
    bool heldByTheTool = false;
    QTimer::singleShot(0, [&] {
        utility.reset();
        heldByTheTool = SingleInstance(lock).tryLock() == SingleInstance::Lock::Held;
    });
    const CommandResult run = runHidden(u'"' + QDir::toNativeSeparators(tool) + "\" x");
    qunsetenv("BRIMO_FLASHTOOL_FAULT");
    QVERIFY2(run.started, qPrintable(run.errorText));
    QVERIFY(heldByTheTool);
    // Wine's console host for the tool inherits the handle too, and ends a
    // moment after the tool.
    QTRY_VERIFY(SingleInstance(lock).tryLock() == SingleInstance::Lock::Taken);
}

// The state the thread asks for is handed back by the next call: the hold's
// while it is in place, the plain one once let go.
void TestWindows::systemKeptAwakeUntilLetGo()
{
    {
        const KeepAwake awake(KeepAwake::Shutdown::Blocked);
        QCOMPARE(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED),
                 EXECUTION_STATE(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
    }
    QCOMPARE(SetThreadExecutionState(ES_CONTINUOUS), EXECUTION_STATE(ES_CONTINUOUS));
}

// The system's list of serial ports comes unordered. Wine's holds the ports the
// checks gave it, the simulated device's line on BRIMO_TEST_COM_PORT above 16.
void TestWindows::comPortsListedInNumberOrder()
{
    const int port = qEnvironmentVariableIntValue("BRIMO_TEST_COM_PORT");
    QList<int> numbers;
    for (const ComPortInfo &info : availableComPorts({}))
        numbers << info.number;
    QVERIFY(numbers.contains(port) && std::is_sorted(numbers.begin(), numbers.end()));
    QCOMPARE(comPortState(port, {}), ComPortState::Free);
}

QTEST_GUILESS_MAIN(TestWindows)
#include "tst_windows.moc"

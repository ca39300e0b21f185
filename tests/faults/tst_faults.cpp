// Faults at the device link's and the settings store's boundaries that the
// tests of each part leave out: a port another program holds, a disk that
// fills up under the work file or the settings file, a flash tool that turns
// the image down, a folder where the work file goes.
#include "device/detect.h"
#include "device/device.h"
#include "platform/serialcontrol.h"
#include "settings/registry.h"

#include "apptestfolder.h"
#include "childscenario.h"
#include "common/srec.h"
#include "devsimprocess.h"
#include "recordingwindow.h"

#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

using namespace brimo;

namespace {

const char *const kHoldPortVariable = "BRIMO_TEST_HOLD_PORT";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Lowers the process's file size limit for one scope. A write past it fails
// where a full disk would fail it, only with "File too large" in place of "No
// space left on device"; the signal such a write raises is ignored, so the
// write returns its error as it does on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_applied = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isApplied() const { return m_applied; }

private:
    rlimit m_old{};
    bool m_applied = false;
    void (*m_oldHandler)(int) = SIG_DFL;
};

// The child's part of portHeldByAnotherProgramIsAbsent: a second program
// that holds the device's port open until its input closes.
int holdPort()
{
    SerialControl comm;
    comm.setSettings(QStringLiteral("9600,N,8,1"));
    comm.setCommPort(static_cast<qint16>(qEnvironmentVariableIntValue(kHoldPortVariable)));
    comm.setPortOpen(true);
    std::puts(comm.portOpen() ? "holding" : "not open");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void init();

    void portHeldByAnotherProgramIsAbsent();
    void fullDiskUnderTheWorkFileIsReportedAndTheToolNotStarted();
    void fullDiskWhileSavingSettingsKeepsTheOldFile();
    void imageTheToolTurnsDownLeavesTheDeviceAlone();
    void workFileInTheWayIsReportedAndTheToolNotStarted();

private:
    QTemporaryDir m_settings;
};

void TestFaults::init()
{
    QVERIFY(m_settings.isValid());
    qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(m_settings.filePath("registry")));
    QFile::remove(m_settings.filePath("registry"));
    qunsetenv("BRIMO_FLASHTOOL_FAULT");
}

// The probe cannot open a port that another program holds: it hears nothing,
// says nothing and answers no after the whole time-out. Once the port is
// free, the same device is found at once.
void TestFaults::portHeldByAnotherProgramIsAbsent()
{
    DevSimProcess sim(6);
    QVERIFY2(sim.isReady(), qPrintable(sim.errorText()));
    qputenv("BRIMO_COM_DIR", QFile::encodeName(sim.comDir()));

    QProcess holder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(test::kScenarioVariable, QStringLiteral("holdPort"));
    environment.insert(QString::fromLatin1(kHoldPortVariable), QStringLiteral("6"));
    holder.setProcessEnvironment(environment);
    holder.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("holding"));

    SerialControl comm;
    comm.setSettings(QStringLiteral("9600,N,8,1"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!probePort(comm, 6, 2));
    QVERIFY2(clock.elapsed() >= 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!comm.portOpen());

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(probePort(comm, 6, 3));
}

// A work file that cannot be written whole is one log line with the system's
// text; the half-written file is gone and the flash tool never runs.
void TestFaults::fullDiskUnderTheWorkFileIsReportedAndTheToolNotStarted()
{
    AppTestFolder app;
    QVERIFY(app.isValid());
    RecordingWindow window;
    const qint16 port = 3;
    device link(window, port, app.path());
    link.objDF.load(sim::makeImage(1 << 20, QByteArray(16, '\xFF')), true);
    link.objDF.strRegEnd = "0011223344556677";
    link.SystemNumber(QStringLiteral("AB12CD34"));

    {
        FileSizeLimit limit(64 * 1024);
        QVERIFY(limit.isApplied());
        QVERIFY(!link.uploadData());
    }
    QCOMPARE(window.lines.size(), 4);
    QCOMPARE(window.lines.at(2), QStringLiteral("Updating device."));
    QCOMPARE(window.lines.at(3), QString::fromLocal8Bit(std::strerror(EFBIG)));
    QCOMPARE(window.dots, QList<bool>({true, false}));
    QVERIFY(app.logLines().isEmpty());
    QCOMPARE(filesIn(app.path()), QStringList{QStringLiteral("sirfflashcl.exe")});
}

// A settings change that cannot be saved whole is dropped: the file keeps
// what it held, every value reads as before and no partial file is left.
void TestFaults::fullDiskWhileSavingSettingsKeepsTheOldFile()
{
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort"),
                     QStringLiteral("3"));
    const QByteArray before = readFile(m_settings.filePath("registry"));
    QVERIFY(!before.isEmpty());

    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.isApplied());
        setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("ProxyServer"),
                         QString(8192, QLatin1Char('x')));
    }
    QCOMPARE(readFile(m_settings.filePath("registry")), before);
    QCOMPARE(getRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("COMPort")),
             QStringLiteral("3"));
    QCOMPARE(getRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("ProxyServer")),
             QString());
    QCOMPARE(filesIn(m_settings.path()),
             QStringList({QStringLiteral("registry"), QStringLiteral("registry.lock")}));
}

// An image with one damaged record (not the identity record, which the
// utility writes itself) is turned down by the flash tool before anything
// reaches the device: the flash fails and the device keeps its memory.
void TestFaults::imageTheToolTurnsDownLeavesTheDeviceAlone()
{
    DevSimProcess sim(5, {"--mode", "dl"});
    QVERIFY2(sim.isReady(), qPrintable(sim.errorText()));
    qputenv("BRIMO_COM_DIR", QFile::encodeName(sim.comDir()));
    const QByteArray flashBefore = readFile(sim.flashPath());
    AppTestFolder app;
    QVERIFY(app.isValid());

    QList<QByteArray> lines = sim::makeImage(4096, QByteArray(16, '\xFF')).split('\n');
    QByteArray &damaged = lines[3];
    const qsizetype lastDigit = damaged.trimmed().size() - 1;
    damaged[lastDigit] = damaged.at(lastDigit) == '0' ? '1' : '0';

    RecordingWindow window;
    const qint16 port = 5;
    device link(window, port, app.path());
    link.objDF.load(lines.join('\n'), true);
    link.objDF.strRegEnd = "0011223344556677";
    link.SystemNumber(QStringLiteral("AB12CD34"));

    QVERIFY(!link.uploadData());
    QCOMPARE(window.lines, QStringList({QStringLiteral("Checking update integrity"),
                                        QStringLiteral("Checking system number"),
                                        QStringLiteral("Updating device.")}));
    QCOMPARE(window.dots, QList<bool>({true, false}));
    QCOMPARE(app.logLines().size(), 1);
    QVERIFY2(app.logLines().first().endsWith("-> exit 4"), qPrintable(app.logLines().first()));
    QCOMPARE(sim.status().value("writes"), QStringLiteral("0"));
    QVERIFY(readFile(sim.flashPath()) == flashBefore);
    QVERIFY(!QFile::exists(app.workFilePath()));
}

// A folder where the work file should go can be neither removed nor written,
// whoever runs the test: one log line each time, and the tool never runs.
void TestFaults::workFileInTheWayIsReportedAndTheToolNotStarted()
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
    link.objDF.load(sim::makeImage(4096, QByteArray(16, '\xFF')), true);
    link.objDF.strRegEnd = "0011223344556677";
    QVERIFY(!link.uploadData());
    QCOMPARE(window.lines.size(), 4);
    QCOMPARE(window.lines.at(2), QStringLiteral("Updating device."));
    QVERIFY(!window.lines.at(3).isEmpty());
    QCOMPARE(window.dots, QList<bool>({true, false}));
    QVERIFY(app.logLines().isEmpty());
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (const auto code = test::runRequestedScenario({{"holdPort", holdPort}}))
        return *code;
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"

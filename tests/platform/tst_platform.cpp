// The platform's layers against the real thing: COM port names from the
// links of a folder, a command run hidden (a Windows program through a
// stand-in wine), the serial line's settings on a pseudo-terminal, and the
// single-copy lock between real copies of the program.
#include "desktop/inhibitservice.h"
#include "device/detect.h"
#include "platform/commandrunner.h"
#include "platform/comport.h"
#include "platform/keepawake.h"
#include "platform/singleinstance.h"

#include "childscenario.h"
#include "common/ptyline.h"

#include <QtTest>

using namespace brimo;

namespace {

// A program the test writes: a script, or the first bytes of a Windows one.
bool writeProgram(const QString &path, const QByteArray &text)
{
    QFile program(path);
    program.remove();
    return program.open(QIODevice::WriteOnly) && program.write(text) == text.size() &&
           program.setPermissions(program.permissions() | QFile::ExeOwner);
}

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void placesFromTheEnvironment_data();
    void placesFromTheEnvironment();
    void comPortNames_data();
    void comPortNames();
    void runsTheCommandAndWaits_data();
    void runsTheCommandAndWaits();
    void probeListensAt9600N81();
    void keepsThePcAwakeThroughTheDesktop_data();
    void keepsThePcAwakeThroughTheDesktop();
    void toolHoldsTheLockButNotWine_data();
    void toolHoldsTheLockButNotWine();
    void secondCopyEndsAtOnceUntilTheFirstDies();

private:
    QTemporaryDir m_dir;
};

// A stand-in "wine" records how it was called.
void TestPlatform::initTestCase()
{
    QVERIFY(QDir(m_dir.path()).mkpath("bin") && QDir(m_dir.path()).mkpath("tool dir"));
    QVERIFY(writeProgram(m_dir.filePath("bin/wine"),
                         "#!/bin/sh\nprintf '[%s]\\n' \"$@\" > \"$WINE_ARGS\"\nexit 7\n"));
    qputenv("WINE_ARGS", QFile::encodeName(m_dir.filePath("wine-args")));
}

// Each place as the environment names it, else where the utility looks by
// itself: Wine's COM ports, the user's configuration and runtime folders.
void TestPlatform::placesFromTheEnvironment_data()
{
    QTest::addColumn<QStringList>("variables"); // "NAME=value"
    QTest::addColumn<QStringList>("places");    // service, COM folder, settings, lock, wine
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString wine = QDir::homePath() + "/.wine/dosdevices";
    QTest::newRow("nothing named")
        << QStringList()
        << QStringList{"updates.brimo.example", wine, config + "/brimo/registry",
                       config + "/brimo/brimo-update.lock", wine};
    QTest::newRow("each named") << QStringList{"BRIMO_SERVICE_HOST= 127.0.0.1:8080 ",
                                               "BRIMO_COM_DIR=/c", "BRIMO_REGISTRY_FILE=/s",
                                               "XDG_RUNTIME_DIR=<tmp>", "WINEPREFIX=/w"}
                                << QStringList{"127.0.0.1:8080", "/c", "/s",
                                               "<tmp>/brimo-update.lock", "/w/dosdevices"};
}

void TestPlatform::placesFromTheEnvironment()
{
    QFETCH(QStringList, variables);
    QFETCH(QStringList, places);
    variables.replaceInStrings("<tmp>", m_dir.path());
    const Places made = placesFrom(
        [&variables](const char *name) {
            const QStringList set = variables.filter(QRegularExpression('^' + QString(name) + '='));
            return set.value(0).section(u'=', 1);
        },
        "/app");
    QCOMPARE(QStringList({made.serviceHost, made.comFolder, made.settingsFile, made.lockPath,
                          made.wine.devices}),
             places.replaceInStrings("<tmp>", m_dir.path()));
    QCOMPARE(made.appFolder, QString("/app"));
}

// COM n is the device that the folder's `comn` link names, else the
// system's n-th serial port.
void TestPlatform::comPortNames_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a link") << 7 << "/dev/by-brimo";
    QTest::newRow("a file of the name") << 8 << "<folder>/com8";
    QTest::newRow("none: the system's port") << 12 << "/dev/ttyS11";
}

void TestPlatform::comPortNames()
{
    QFETCH(int, port);
    QFETCH(QString, expected);
    const QString links = m_dir.filePath("links");
    QVERIFY(QDir().mkpath(links));
    QFile::link("/dev/by-brimo", links + "/com7");
    QFile(links + "/com8").open(QIODevice::WriteOnly);
    QCOMPARE(comPortSystemName(port, links), expected.replace("<folder>", links));
}

// A program that starts with "MZ" is a Windows program: it runs through
// wine, with the work file as a Windows path on the drive of the root folder,
// Z: unless another letter is linked to it. An exit code of -1 stands for any
// code but 0; the slow crash shows that timers tick while the command runs.
void TestPlatform::runsTheCommandAndWaits_data()
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
    QTest::newRow("Windows program, no wine")
        << windows << "none" << 0 << "wine is needed to run the Windows program <tool>" << 0;
}

void TestPlatform::runsTheCommandAndWaits()
{
    QFETCH(QByteArray, program);
    QFETCH(QString, rootDrive);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QFETCH(int, ticks);

    const QString devices = m_dir.filePath("prefix/dosdevices");
    QVERIFY(QDir(devices).removeRecursively() && QDir().mkpath(devices));
    QVERIFY(rootDrive.size() != 2 || QFile::link("/", devices + '/' + rootDrive));
    QFile::remove(m_dir.filePath("wine-args"));
    const QString tool = m_dir.filePath("tool dir/sirfflashcl.exe");
    QVERIFY(writeProgram(tool, program));
    int ticked = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&ticked] { ++ticked; });
    timer.start(50);

    const QString workFile = m_dir.filePath("tool dir/nf.dat");
    const Wine wine{rootDrive == "none" ? QString() : m_dir.filePath("bin/wine"), devices};
    const CommandResult result =
        runHidden(QStringLiteral("\"%1\" \"%2\" -l 3").arg(tool, workFile), wine);
    QCOMPARE(result.started, error.isEmpty() || exitCode != 0);
    QVERIFY(exitCode < 0 ? result.exitCode != 0 : !result.started || result.exitCode == exitCode);
    QCOMPARE(result.errorText, error.replace("<tool>", tool));
    QVERIFY2(ticked >= ticks, qPrintable(QString::number(ticked)));
    QFile args(m_dir.filePath("wine-args"));
    const QString drive = rootDrive.size() == 2 ? rootDrive.toUpper() : QStringLiteral("Z:");
    QCOMPARE(args.open(QIODevice::ReadOnly) ? QString::fromUtf8(args.readAll()) : QString(),
             result.started && program.startsWith("MZ")
                 ? "[" + tool + "]\n[" + drive + QString(workFile).replace('/', '\\') +
                       "]\n[-l]\n[3]\n"
                 : QString());
}

// The port probe listens at 9600 baud, no parity, 8 data bits, 1 stop bit.
void TestPlatform::probeListensAt9600N81()
{
    sim::PtyLine line(m_dir.filePath("com1"));
    QString error;
    QVERIFY2(line.open(&error), qPrintable(error));
    termios heard{};
    QTimer device; // streams its sentences
    connect(&device, &QTimer::timeout, [&] { heard = line.settings(), line.send("$GP\r\n"); });
    device.start(100);
    QVERIFY(SerialPortProbe(m_dir.path()).probePort(1, 3));
    QCOMPARE(cfgetispeed(&heard), speed_t(B9600));
    // A pseudo-terminal keeps 8 bits and drops PARENB, but shows odd and mark parity.
    QCOMPARE(heard.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), tcflag_t(CS8));
}
// Each hold is let go of as the run ends: the portal's (for the image's
// write, logging out held back too), else the screen saver's, and both when
// the portal answers only after the wait for it is over. "0-1": asked for
// before the run, let go of after it.
void TestPlatform::keepsThePcAwakeThroughTheDesktop_data()
{
    QTest::addColumn<QString>("services");
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("holds");
    QTest::newRow("the portal, a read") << "portal" << false << "sleep 0-1";
    QTest::newRow("the portal, a write") << "portal" << true << "shutdown 0-1";
    QTest::newRow("the screen saver") << "screensaver" << true << "screen 0-1";
    QTest::newRow("a late portal") << "portal late" << false << "sleep 0-1,screen 0-1";
}

void TestPlatform::keepsThePcAwakeThroughTheDesktop()
{
    QFETCH(QString, services);
    QFETCH(bool, write);
    QFETCH(QString, holds);
    int runs = 0;
    sim::InhibitService desktop(services, [&runs] { return runs; });
    QVERIFY(desktop.isReady());
    {
        const KeepAwake hold(write ? KeepAwake::Shutdown::Blocked : KeepAwake::Shutdown::Allowed);
        QCOMPARE(KeepAwake::blocksShutdown(), write);
        runs = 1;
    }
    QVERIFY(!KeepAwake::blocksShutdown());
    QTRY_COMPARE(desktop.holds(), holds);
}

// The flash tool holds the single-copy lock while it runs, also once the
// utility has let go of it; a Windows tool run through Wine does not, nor
// does Wine (the utility waits for that tool instead). A lock that cannot be
// set up says why.
void TestPlatform::toolHoldsTheLockButNotWine_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<bool>("held");
    QTest::newRow("the tool") << QByteArray("#!/bin/sh\nsleep 1\n") << true;
    QTest::newRow("a Windows tool through Wine") << QByteArray("MZ\x90\x00\x03", 5) << false;
}

void TestPlatform::toolHoldsTheLockButNotWine()
{
    QFETCH(QByteArray, program);
    QFETCH(bool, held);
    const QString wine = m_dir.filePath("bin/slow wine"), tool = m_dir.filePath("tool dir/tool");
    QVERIFY(writeProgram(wine, "#!/bin/sh\nsleep 1\n") && writeProgram(tool, program));

    const QString lock = m_dir.filePath("brimo-update.lock");
    auto utility = std::make_unique<SingleInstance>(lock);
    QCOMPARE(utility->tryLock(), SingleInstance::Lock::Taken);
    SingleInstance::Lock meanwhile = SingleInstance::Lock::Unavailable;
    QTimer::singleShot(300, [&] {
        utility.reset();
        meanwhile = SingleInstance(lock).tryLock();
    });
    const Wine slow{wine, m_dir.filePath("prefix/dosdevices")};
    const CommandResult run = runHidden('"' + tool + '"', slow, utility->handle());
    QVERIFY2(run.started, qPrintable(run.errorText));
    QCOMPARE(meanwhile, held ? SingleInstance::Lock::Held : SingleInstance::Lock::Taken);
    QCOMPARE(SingleInstance(lock).tryLock(), SingleInstance::Lock::Taken);

    SingleInstance nowhere(m_dir.filePath("no folder/brimo-update.lock"));
    QCOMPARE(nowhere.tryLock(), SingleInstance::Lock::Unavailable);
    QVERIFY2(nowhere.error().endsWith("brimo-update.lock: No such file or directory"),
             qPrintable(nowhere.error()));
}

// Real copies of the program side by side, their lock in the user's own
// runtime folder.
void TestPlatform::secondCopyEndsAtOnceUntilTheFirstDies()
{
    QTemporaryDir folder;
    const auto start = [&](QProcess &copy) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("BRIMO_REGISTRY_FILE", folder.filePath("registry"));
        environment.insert("XDG_RUNTIME_DIR", folder.path());
        copy.setProcessEnvironment(environment);
        copy.setProcessChannelMode(QProcess::MergedChannels);
        brimo::test::endWithThisTest(copy);
        copy.start(QStringLiteral(BRIMO_APP_DIR "/brimo-update"), {});
        return copy.waitForStarted();
    };
    const auto held = [&] {
        return SingleInstance(folder.filePath("brimo-update.lock")).tryLock() ==
               SingleInstance::Lock::Held;
    };
    QProcess first, second;
    QVERIFY(start(first));
    QTRY_VERIFY_WITH_TIMEOUT(held(), 10000);
    QVERIFY(start(second) && second.waitForFinished(5000));
    QVERIFY(second.exitCode() == 0 && second.readAll().isEmpty()); // and says nothing
    // Killed, a copy cleans nothing up: the system lets go of its lock.
    first.kill();
    QVERIFY(first.waitForFinished() && !held());
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"

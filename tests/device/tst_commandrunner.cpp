#include "platform/commandrunner.h"

#include <QtTest>

using namespace brimo;

namespace {

bool writeProgram(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return false;
    file.close();
    return file.setPermissions(file.permissions() | QFile::ExeOwner);
}

} // namespace

class TestCommandRunner : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void runsAndReportsTheExitCode_data();
    void runsAndReportsTheExitCode();
    void windowsProgramRunsThroughWine_data();
    void windowsProgramRunsThroughWine();

private:
    QTemporaryDir m_dir;
};

// A stand-in "wine" first on the path records how it was called.
void TestCommandRunner::initTestCase()
{
    QVERIFY(m_dir.isValid() && QDir(m_dir.path()).mkpath("bin") &&
            QDir(m_dir.path()).mkpath("tool dir"));
    QVERIFY(writeProgram(m_dir.filePath("bin/wine"),
                         "#!/bin/sh\nprintf '[%s]\\n' \"$@\" > \"$WINE_ARGS\"\nexit 7\n"));
    qputenv("PATH", QFile::encodeName(m_dir.filePath("bin")) + ':' + qgetenv("PATH"));
    qputenv("WINE_ARGS", QFile::encodeName(m_dir.filePath("wine-args")));
    qputenv("WINEPREFIX", QFile::encodeName(m_dir.filePath("prefix")));
    qunsetenv("BRIMO_WINE");
}

// An exit code of -1 stands for any code but 0. The slow crash shows that the
// window's timers keep ticking while the command runs.
void TestCommandRunner::runsAndReportsTheExitCode_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorStart");
    QTest::addColumn<int>("ticks");

    QTest::newRow("exit 4") << QByteArray("exit 4") << 4 << "" << 0;
    // More output than a pipe holds: nobody reads it, and the run must not stall.
    QTest::newRow("output goes nowhere")
        << QByteArray("head -c 300000 /dev/zero; head -c 300000 /dev/zero >&2") << 0 << "" << 0;
    QTest::newRow("missing") << QByteArray() << -1 << "File not found: " << 0;
    QTest::newRow("slow crash") << QByteArray("sleep 0.5; kill -SEGV $$") << -1 << "Process crashed"
                                << 5;
}

void TestCommandRunner::runsAndReportsTheExitCode()
{
    QFETCH(QByteArray, script);
    QFETCH(int, exitCode);
    QFETCH(QString, errorStart);
    QFETCH(int, ticks);

    const QString path = m_dir.filePath("tool dir/tool");
    QFile::remove(path);
    QVERIFY(script.isEmpty() || writeProgram(path, "#!/bin/sh\n" + script + "\n"));
    int ticked = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&ticked] { ++ticked; });
    timer.start(50);

    const CommandResult result = runHidden(QStringLiteral("\"%1\" -b 57600").arg(path));
    QCOMPARE(result.started, !script.isEmpty());
    QVERIFY(exitCode < 0 ? result.exitCode != 0 : result.exitCode == exitCode);
    QCOMPARE(result.errorText.left(errorStart.size()), errorStart);
    QCOMPARE(result.errorText.isEmpty(), errorStart.isEmpty());
    QVERIFY2(ticked >= ticks, qPrintable(QString::number(ticked)));
}

// A prefix without drive links has the root folder on Z:, as Wine makes it;
// its owner may have linked another letter to it.
void TestCommandRunner::windowsProgramRunsThroughWine_data()
{
    QTest::addColumn<QString>("rootDrive");
    QTest::newRow("Z:") << "";
    QTest::newRow("Y:") << "y:";
}

void TestCommandRunner::windowsProgramRunsThroughWine()
{
    QFETCH(QString, rootDrive);

    const QString devices = m_dir.filePath("prefix/dosdevices");
    QVERIFY(QDir(devices).removeRecursively() && QDir().mkpath(devices));
    QVERIFY(rootDrive.isEmpty() || QFile::link("/", devices + '/' + rootDrive));
    const QString tool = m_dir.filePath("tool dir/sirfflashcl.exe");
    QVERIFY(writeProgram(tool, QByteArray("MZ\x90\x00\x03", 5)));

    const QString workFile = m_dir.filePath("tool dir/nf.dat");
    const CommandResult result =
        runHidden(QStringLiteral("\"%1\" \"%2\" -l 3 -o 0").arg(tool, workFile));
    QVERIFY(result.started);
    QCOMPARE(result.exitCode, 7);
    QFile args(m_dir.filePath("wine-args"));
    QVERIFY(args.open(QIODevice::ReadOnly));
    // The work file is handed over as the Windows program sees it.
    const QString windowsFile = (rootDrive.isEmpty() ? QStringLiteral("Z:") : rootDrive.toUpper()) +
                                QString(workFile).replace('/', '\\');
    QCOMPARE(QString::fromUtf8(args.readAll()),
             "[" + tool + "]\n[" + windowsFile + "]\n[-l]\n[3]\n[-o]\n[0]\n");
}

QTEST_GUILESS_MAIN(TestCommandRunner)
#include "tst_commandrunner.moc"

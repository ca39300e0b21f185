#include "platform/commandrunner.h"

#include <QtTest>

using namespace brimo;

namespace {

// Writes an executable file; a script unless the text says otherwise.
bool writeProgram(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return false;
    file.close();
    return file.setPermissions(file.permissions() | QFile::ExeOwner);
}

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

} // namespace

class TestCommandRunner : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void runsAndReportsTheExitCode_data();
    void runsAndReportsTheExitCode();
    void windowsProgramRunsThroughWine();
    void windowKeepsRunningWhileTheCommandRuns();

private:
    QTemporaryDir m_dir;
};

// A stand-in "wine" first on the path records how it was called.
void TestCommandRunner::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkdir("bin"));
    QVERIFY(writeProgram(m_dir.filePath("bin/wine"),
                         "#!/bin/sh\nprintf '[%s]\\n' \"$@\" > \"$WINE_ARGS\"\nexit 7\n"));
    qputenv("PATH", QFile::encodeName(m_dir.filePath("bin")) + ':' + qgetenv("PATH"));
    qputenv("WINE_ARGS", QFile::encodeName(m_dir.filePath("wine-args")));
    // A prefix without drive links: the root folder is on Z:, as Wine makes it.
    qputenv("WINEPREFIX", QFile::encodeName(m_dir.filePath("prefix")));
    qunsetenv("BRIMO_WINE");
}

void TestCommandRunner::runsAndReportsTheExitCode_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<bool>("started");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorStart");

    QTest::newRow("exit 0") << QByteArray("#!/bin/sh\nexit 0\n") << true << 0 << "";
    QTest::newRow("exit 4") << QByteArray("#!/bin/sh\nexit 4\n") << true << 4 << "";
    QTest::newRow("output goes nowhere")
        << QByteArray("#!/bin/sh\nhead -c 300000 /dev/zero\nhead -c 300000 /dev/zero >&2\n") << true
        << 0 << "";
    QTest::newRow("missing") << QByteArray() << false << -1 << "File not found: ";
}

void TestCommandRunner::runsAndReportsTheExitCode()
{
    QFETCH(QByteArray, program);
    QFETCH(bool, started);
    QFETCH(int, exitCode);
    QFETCH(QString, errorStart);

    const QString path = m_dir.filePath("tool dir/tool");
    QDir().mkpath(m_dir.filePath("tool dir"));
    QFile::remove(path);
    if (!program.isEmpty())
        QVERIFY(writeProgram(path, program));

    const CommandResult result = runHidden(quoted(path) + " -b 57600");
    QCOMPARE(result.started, started);
    if (started)
        QCOMPARE(result.exitCode, exitCode);
    if (errorStart.isEmpty())
        QCOMPARE(result.errorText, QString());
    else
        QVERIFY2(result.errorText.startsWith(errorStart), qPrintable(result.errorText));
}

void TestCommandRunner::windowsProgramRunsThroughWine()
{
    const QString tool = m_dir.filePath("app/sirfflashcl.exe");
    QDir().mkpath(m_dir.filePath("app"));
    QVERIFY(writeProgram(tool, QByteArray("MZ\x90\x00\x03", 5)));

    const CommandResult result =
        runHidden(quoted(tool) + " " + quoted(m_dir.filePath("app/nf.dat")) + " -l 3 -o 0");
    QVERIFY(result.started);
    QCOMPARE(result.exitCode, 7);
    QFile args(m_dir.filePath("wine-args"));
    QVERIFY(args.open(QIODevice::ReadOnly));
    // The work file is handed over as the Windows program sees it.
    const QString workFile = "Z:" + m_dir.filePath("app/nf.dat").replace('/', '\\');
    QCOMPARE(QString::fromUtf8(args.readAll()),
             "[" + tool + "]\n[" + workFile + "]\n[-l]\n[3]\n[-o]\n[0]\n");
}

void TestCommandRunner::windowKeepsRunningWhileTheCommandRuns()
{
    const QString path = m_dir.filePath("slow");
    QVERIFY(writeProgram(path, "#!/bin/sh\nsleep 0.5\nkill -SEGV $$\n"));
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
    timer.start(50);

    const CommandResult result = runHidden(quoted(path));
    QVERIFY(result.started);
    QVERIFY(result.exitCode != 0);
    QVERIFY(!result.errorText.isEmpty());
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
}

QTEST_GUILESS_MAIN(TestCommandRunner)
#include "tst_commandrunner.moc"

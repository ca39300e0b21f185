// Only one copy of the utility runs: real copies of the program, started side
// by side on a lock file of their own.

#include "platform/singleinstance.h"

#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kProgram = QStringLiteral(BRIMO_APP_DIR "/brimo-update");

// The process id the lock file names, 0 when there is none.
qint64 lockOwner(const QString &lockPath)
{
    qint64 pid = 0;
    QString host;
    QString application;
    QLockFile probe(lockPath);
    return probe.getLockInfo(&pid, &host, &application) ? pid : 0;
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void lockIsHeldByOneOwnerAtATime();
    void environmentNamesTheLockFile();
    void secondCopyEndsAtOnceWhileTheFirstRuns();
    void lockOfACopyThatDiedIsTakenOver();

private:
    void start(QProcess &copy);

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_lockPath;
    std::vector<std::unique_ptr<QProcess>> m_copies;
};

void SingleInstanceTest::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_lockPath = m_folder->filePath(QStringLiteral("brimo-update.lock"));
}

void SingleInstanceTest::cleanup()
{
    for (auto &copy : m_copies) {
        copy->kill();
        copy->waitForFinished();
    }
    m_copies.clear();
    m_folder.reset();
}

void SingleInstanceTest::start(QProcess &copy)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("BRIMO_INSTANCE_LOCK"), m_lockPath);
    environment.insert(QStringLiteral("BRIMO_REGISTRY_FILE"),
                       m_folder->filePath(QStringLiteral("registry")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Keeps Qt from remarking on a missing runtime folder, so any output is the program's.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_folder->path());
    copy.setProcessEnvironment(environment);
    copy.setProcessChannelMode(QProcess::MergedChannels);
    copy.start(kProgram, {});
    QVERIFY2(copy.waitForStarted(), qPrintable(copy.errorString()));
}

void SingleInstanceTest::lockIsHeldByOneOwnerAtATime()
{
    auto first = std::make_unique<brimo::SingleInstance>(m_lockPath);
    QVERIFY(first->tryLock());
    brimo::SingleInstance second(m_lockPath);
    QVERIFY(!second.tryLock());
    first.reset();
    QVERIFY(second.tryLock());
}

void SingleInstanceTest::environmentNamesTheLockFile()
{
    qputenv("BRIMO_INSTANCE_LOCK", m_lockPath.toLocal8Bit());
    QCOMPARE(brimo::SingleInstance::defaultLockPath(), m_lockPath);
    qunsetenv("BRIMO_INSTANCE_LOCK");
    const QString standard = brimo::SingleInstance::defaultLockPath();
    QVERIFY(standard.startsWith(QDir::tempPath()));
    QVERIFY(standard.endsWith(QStringLiteral("brimo-update.lock")));
}

void SingleInstanceTest::secondCopyEndsAtOnceWhileTheFirstRuns()
{
    QProcess &first = *m_copies.emplace_back(std::make_unique<QProcess>());
    start(first);
    QTRY_COMPARE_WITH_TIMEOUT(lockOwner(m_lockPath), first.processId(), 10000);

    QProcess &second = *m_copies.emplace_back(std::make_unique<QProcess>());
    QElapsedTimer clock;
    clock.start();
    start(second);
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(second.readAll(), QByteArray());

    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(lockOwner(m_lockPath), first.processId());
}

void SingleInstanceTest::lockOfACopyThatDiedIsTakenOver()
{
    QProcess &first = *m_copies.emplace_back(std::make_unique<QProcess>());
    start(first);
    QTRY_COMPARE_WITH_TIMEOUT(lockOwner(m_lockPath), first.processId(), 10000);
    const qint64 deadCopy = first.processId();
    first.kill(); // as the utility itself ends: nothing cleans up the lock file
    QVERIFY(first.waitForFinished());
    QCOMPARE(lockOwner(m_lockPath), deadCopy);

    QProcess &second = *m_copies.emplace_back(std::make_unique<QProcess>());
    start(second);
    QTRY_COMPARE_WITH_TIMEOUT(lockOwner(m_lockPath), second.processId(), 10000);
    QCOMPARE(second.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(SingleInstanceTest)

#include "tst_singleinstance.moc"

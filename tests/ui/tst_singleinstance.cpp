// Only one copy of the utility runs: real copies of the program, started side
// by side on a lock file of their own.

#include <QtTest>

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void secondCopyEndsAtOnceUntilTheFirstDies();
    void cleanup();

private:
    QProcess &start();
    qint64 lockOwner() const;

    QTemporaryDir m_folder;
    QProcess m_copies[3];
    int m_started = 0;
};

QProcess &SingleInstanceTest::start()
{
    QProcess &copy = m_copies[m_started++];
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("BRIMO_INSTANCE_LOCK", m_folder.filePath("brimo-update.lock"));
    environment.insert("BRIMO_REGISTRY_FILE", m_folder.filePath("registry"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // Keeps Qt from remarking on a missing runtime folder, so any output is the program's.
    environment.insert("XDG_RUNTIME_DIR", m_folder.path());
    copy.setProcessEnvironment(environment);
    copy.setProcessChannelMode(QProcess::MergedChannels);
    copy.start(QStringLiteral(BRIMO_APP_DIR "/brimo-update"), {});
    copy.waitForStarted();
    return copy;
}

// The process id the lock file names, 0 when there is none.
qint64 SingleInstanceTest::lockOwner() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    QLockFile probe(m_folder.filePath("brimo-update.lock"));
    return probe.getLockInfo(&pid, &host, &application) ? pid : 0;
}

void SingleInstanceTest::secondCopyEndsAtOnceUntilTheFirstDies()
{
    QProcess &first = start();
    QTRY_COMPARE_WITH_TIMEOUT(lockOwner(), first.processId(), 10000);

    QProcess &second = start();
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAll(), QByteArray());
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(lockOwner(), first.processId());

    // The utility ends without cleaning up, so a dead copy's lock file stays.
    first.kill();
    QVERIFY(first.waitForFinished());
    QProcess &third = start();
    QTRY_COMPARE_WITH_TIMEOUT(lockOwner(), third.processId(), 10000);
}

void SingleInstanceTest::cleanup()
{
    for (QProcess &copy : m_copies) {
        copy.kill();
        copy.waitForFinished();
    }
}

QTEST_GUILESS_MAIN(SingleInstanceTest)

#include "tst_singleinstance.moc"

// Only one copy of the utility runs: real copies of the program, started side
// by side on a lock file of their own.
#include <QtTest>

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void secondCopyEndsAtOnceUntilTheFirstDies()
    {
        QProcess first, second, third;
        QVERIFY(start(first));
        QTRY_COMPARE_WITH_TIMEOUT(lockOwner(), first.processId(), 10000);

        QVERIFY(start(second) && second.waitForFinished(5000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAll(), QByteArray());
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(lockOwner(), first.processId());

        // The utility ends without cleaning up, so a dead copy's lock file stays.
        first.kill();
        QVERIFY(first.waitForFinished() && start(third));
        QTRY_COMPARE_WITH_TIMEOUT(lockOwner(), third.processId(), 10000);
        third.kill();
        third.waitForFinished();
    }

private:
    bool start(QProcess &copy)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("BRIMO_INSTANCE_LOCK", m_folder.filePath("brimo-update.lock"));
        environment.insert("BRIMO_REGISTRY_FILE", m_folder.filePath("registry"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // Keeps Qt from remarking on a missing runtime folder: any output is the program's.
        environment.insert("XDG_RUNTIME_DIR", m_folder.path());
        copy.setProcessEnvironment(environment);
        copy.setProcessChannelMode(QProcess::MergedChannels);
        copy.start(QStringLiteral(BRIMO_APP_DIR "/brimo-update"), {});
        return copy.waitForStarted();
    }
    // The process id the lock file names, 0 when there is none.
    qint64 lockOwner() const
    {
        qint64 pid = 0;
        QString host, application;
        QLockFile probe(m_folder.filePath("brimo-update.lock"));
        return probe.getLockInfo(&pid, &host, &application) ? pid : 0;
    }

    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"

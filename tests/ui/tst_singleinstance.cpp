// Only one copy of the utility runs: real copies of the program, started side
// by side on a lock file of their own.

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void secondCopyEndsAtOnceUntilTheFirstDies();
    void cleanup();

private:
    QProcess &start(const QString &program, const QStringList &arguments = {});
    qint64 lockOwner() const;

    QTemporaryDir m_folder;
    QProcess m_copies[3];
    int m_started = 0;
};

QProcess &SingleInstanceTest::start(const QString &program, const QStringList &arguments)
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
    copy.start(program, arguments);
    copy.waitForStarted();
    return copy;
}

// The process that holds the lock, 0 when none does.
qint64 SingleInstanceTest::lockOwner() const
{
    const int fd = ::open(QFile::encodeName(m_folder.filePath("brimo-update.lock")), O_RDWR);
    struct flock holder = {};
    holder.l_type = F_WRLCK;
    holder.l_whence = SEEK_SET;
    const bool asked = fd >= 0 && ::fcntl(fd, F_GETLK, &holder) == 0;
    if (fd >= 0)
        ::close(fd);
    return asked && holder.l_type != F_UNLCK ? holder.l_pid : 0;
}

void SingleInstanceTest::secondCopyEndsAtOnceUntilTheFirstDies()
{
    const QString program = QStringLiteral(BRIMO_APP_DIR "/brimo-update");
    QProcess &first = start(program);
    QTRY_COMPARE_WITH_TIMEOUT(lockOwner(), first.processId(), 10000);

    QProcess &second = start(program);
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAll(), QByteArray());
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(lockOwner(), first.processId());

    // The utility ends without cleaning up, so a dead copy's lock file stays,
    // naming a process id that the system may give to the next copy: here it
    // does, as the shell that writes the old lock's lines becomes that copy.
    first.kill();
    QVERIFY(first.waitForFinished());
    QProcess &third = start("/bin/sh", {"-c",
                                        "printf '%s\\nbrimo-update\\n%s\\n' $$ \"$(hostname)\" "
                                        "> \"$BRIMO_INSTANCE_LOCK\" && exec \"$0\"",
                                        program});
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

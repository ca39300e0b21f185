// The COM ports the PC has, on pseudo-terminals linked into a COM folder, and
// which of them another program holds: the test holds them, a child looks.

#include "platform/comports.h"

#include "childscenario.h"
#include "common/ptyline.h"

#include <fcntl.h>

#include <QSerialPort>
#include <QtTest>

#include <map>
#include <sys/ioctl.h>

using namespace brimo;

Q_DECLARE_METATYPE(brimo::ComPortState)

// Exclusive mode and file rights do not bind the superuser: it looks as nobody.
const QStringList kLooker =
    geteuid() != 0 ? QStringList()
                   : QStringList{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};

class TestComPorts : public QObject {
    Q_OBJECT

private slots:
    // Any comN link whose line is there, however high N, named with what is known.
    void portsInNumberOrder()
    {
        QTemporaryDir folder;
        QVERIFY(QFile::link("/dev/pts/gone", folder.filePath("com5")));
        QVERIFY(QFile(folder.filePath("comx")).open(QIODevice::WriteOnly));
        QVERIFY(availableComPorts(folder.path()).isEmpty());
        std::map<int, sim::PtyLine> lines;
        QString error;
        for (int port : {20, 3, 117, 17})
            QVERIFY(lines.try_emplace(port, folder.filePath(QStringLiteral("com%1").arg(port)))
                        .first->second.open(&error));
        QStringList listed, expected;
        for (const auto &[port, line] : lines)
            expected << QStringLiteral("COM %1: %2").arg(port).arg(line.slavePath());
        for (const ComPortInfo &port : availableComPorts(folder.path()))
            listed << comPortSummary(port);
        QCOMPARE(listed, expected);
        QCOMPARE(comPortSummary({20, "COM20", "USB Serial Port", 0x403, 0x6001}),
                 "COM 20: USB Serial Port, USB 0403:6001");
    }

    void busyToldFromMissingAndRefused_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<ComPortState>("state");
        QTest::newRow("free") << "" << ComPortState::Free;
        QTest::newRow("held with Qt's serial port") << "Qt" << ComPortState::InUse;
        QTest::newRow("held under the lock-file convention") << "lock file" << ComPortState::InUse;
        QTest::newRow("held in exclusive mode") << "exclusive" << ComPortState::InUse;
        QTest::newRow("no rights to it") << "no rights" << ComPortState::Refused;
        QTest::newRow("no link") << "no link" << ComPortState::Missing;
    }

    void busyToldFromMissingAndRefused()
    {
        QFETCH(QString, setUp);
        QFETCH(ComPortState, state);
        QTemporaryDir folder;
        QFile::setPermissions(folder.path(), QFileDevice::Permissions(0x7755));
        sim::PtyLine line(folder.filePath(setUp == "no link" ? "com21" : "com20"));
        QString error;
        QVERIFY2(line.open(&error), qPrintable(error));
        const QString device = line.slavePath();
        QFile::setPermissions(device, QFileDevice::Permissions(setUp == "no rights" ? 0 : 0x6666));
        // Held as another program would: its process id in ten columns in a lock file.
        QSerialPort serial(device);
        QFile lock("/var/lock/LCK.." + device.mid(5).replace('/', '_'));
        const QByteArray pid = QByteArray::number(getpid()).rightJustified(10) + '\n';
        const int fd = setUp == "exclusive" ? ::open(qPrintable(device), O_RDWR | O_NOCTTY) : -1;
        QVERIFY(setUp != "Qt" || serial.open(QIODevice::ReadWrite));
        QVERIFY(setUp != "lock file" ||
                (lock.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && lock.write(pid)));
        QVERIFY(setUp != "exclusive" || ::ioctl(fd, TIOCEXCL) == 0);
        const int seen = test::runScenario("state", {"FOLDER=" + folder.path()}, 60000, kLooker);
        if (lock.isOpen())
            lock.remove();
        ::close(fd);
        if (seen >= 126)
            QSKIP("nobody may not run this test, and the superuser would pass");
        QCOMPARE(seen, int(state));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const auto tellState = [] { return int(comPortState(20, qEnvironmentVariable("FOLDER"))); };
    if (const auto code = test::runRequestedScenario({{"state", tellState}}))
        return *code;
    TestComPorts test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_comports.moc"

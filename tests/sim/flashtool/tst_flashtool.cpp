// The stand-in flash tool run as the utility runs it: through a link in an
// application folder of its own, against the simulated device.
#include "common/srec.h"
#include "devsimprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList kReadOptions = {"-r", "-f", "0x080000", "-t", "0x080020"};
const QStringList kWriteOptions = {"-o", "0", "-c", "0"};

struct Run {
    int exitCode = -1;
    bool crashed = false;
    qint64 elapsedMs = 0;
    QByteArray errors;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

} // namespace

class FlashToolTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_app = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::link(QStringLiteral(BRIMO_APP_DIR "/sirfflashcl.exe"), tool()));
        m_device = std::make_unique<DevSimProcess>(3, QStringList{"--mode", "dl", "--system-number",
                                                                  "ZX81QL10", "--tail",
                                                                  "8899AABBCCDDEEFF"});
        QVERIFY2(m_device->isReady(), qPrintable(m_device->errorText()));
        qunsetenv("BRIMO_FLASHTOOL_FAULT");
    }

    void cleanup()
    {
        m_device.reset();
        m_app.reset();
    }

    void acceptsExactlyTheTwoCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        const QStringList head = {"nf.dat", "-b", "57600", "-l", "3"};
        QTest::newRow("read") << head + kReadOptions << 0;
        QTest::newRow("nothing") << QStringList() << 2;
        QTest::newRow("file only") << QStringList{"nf.dat"} << 2;
        QTest::newRow("other speed")
            << QStringList{"nf.dat", "-b", "9600", "-l", "3"} + kReadOptions << 2;
        QTest::newRow("empty port")
            << QStringList{"nf.dat", "-b", "57600", "-l", ""} + kReadOptions << 2;
        QTest::newRow("no port") << QStringList{"nf.dat", "-b", "57600", "-l"} + kReadOptions << 2;
        QTest::newRow("leading zero")
            << QStringList{"nf.dat", "-b", "57600", "-l", "03"} + kReadOptions << 2;
        QTest::newRow("port not a number")
            << QStringList{"nf.dat", "-b", "57600", "-l", "x"} + kReadOptions << 2;
        QTest::newRow("other range")
            << head + QStringList{"-r", "-f", "0x080000", "-t", "0x080021"} << 2;
        QTest::newRow("extra argument") << head + kReadOptions + QStringList{"-v"} << 2;
        QTest::newRow("write with other options") << head + QStringList{"-o", "0", "-c", "1"} << 2;
        QTest::newRow("options in another order")
            << QStringList{"nf.dat", "-l", "3", "-b", "57600"} + kReadOptions << 2;
    }

    void acceptsExactlyTheTwoCommandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        if (!arguments.isEmpty())
            arguments[0] = m_app->filePath(arguments.at(0));
        const Run run = runTool(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.errors.contains("usage:"), exitCode == 2);
        QCOMPARE(QFile::exists(m_app->filePath("nf.dat")), exitCode == 0);
    }

    void readsTheIdentityBlockAndLogsTheRun()
    {
        const QString dump = m_app->filePath("nf.dat");
        const QStringList arguments = QStringList{dump, "-b", "57600", "-l", "3"} + kReadOptions;
        QCOMPARE(runTool(arguments).exitCode, 0);
        QCOMPARE(readFile(dump),
                 QByteArray("BRIMO IDENT 0100ZX81QL10") + QByteArray::fromHex("8899AABBCCDDEEFF"));
        QCOMPARE(logLines(), QStringList{QStringLiteral("[%1] [-b] [57600] [-l] [3] [-r] [-f] "
                                                        "[0x080000] [-t] [0x080020] -> exit 0")
                                             .arg(dump)});
    }

    void givesUpWhenTheDeviceCannotAnswer_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("waitsForAnswer");
        QTest::newRow("NORMAL") << QStringList{"mode normal"} << 3 << true;
        QTest::newRow("camera") << QStringList{"mode camera"} << 3 << true;
        QTest::newRow("power off") << QStringList{"power off"} << 3 << true;
        QTest::newRow("unplugged") << QStringList{"unplug"} << 3 << false;
        QTest::newRow("no device on the port") << QStringList() << 12 << false;
    }

    void givesUpWhenTheDeviceCannotAnswer()
    {
        QFETCH(QStringList, commands);
        QFETCH(int, port);
        QFETCH(bool, waitsForAnswer);
        for (const QString &command : commands)
            QCOMPARE(m_device->send(command), QStringLiteral("ok"));
        const QString dump = m_app->filePath("nf.dat");
        const Run run =
            runTool(QStringList{dump, "-b", "57600", "-l", QString::number(port)} + kReadOptions);
        QCOMPARE(run.exitCode, 3);
        QVERIFY(!run.errors.isEmpty());
        QVERIFY(!QFile::exists(dump));
        QVERIFY2(run.elapsedMs < 4000, qPrintable(QString::number(run.elapsedMs)));
        if (waitsForAnswer)
            QVERIFY2(run.elapsedMs >= 1800, qPrintable(QString::number(run.elapsedMs)));
    }

    void writesTheImageToTheFlash()
    {
        const QByteArray identity =
            QByteArray("QQ11RR22") + QByteArray::fromHex("0102030405060708");
        const QByteArray image = brimo::sim::makeImage(600000, identity, 9);
        const QString file = m_app->filePath("nf.dat");
        QVERIFY(writeFile(file, image));
        QCOMPARE(runTool(QStringList{file, "-b", "57600", "-l", "3"} + kWriteOptions).exitCode, 0);

        const QMap<QString, QString> status = m_device->status();
        QCOMPARE(status.value("writes"), QStringLiteral("1"));
        QCOMPARE(status.value("records"), QString::number(image.count("\nS3") + 0));
        QCOMPARE(status.value("system"), QStringLiteral("QQ11RR22"));
        QCOMPARE(status.value("tail"), QStringLiteral("0102030405060708"));

        // Every data record landed at its address.
        const QByteArray flash = readFile(m_device->flashPath());
        for (const QByteArray &line : image.split('\n')) {
            brimo::sim::SRecord record;
            if (brimo::sim::parseSRecord(line.trimmed(), &record, nullptr) && record.type == '3')
                QCOMPARE(flash.mid(record.address, record.data.size()), record.data);
        }
        QCOMPARE(flash.mid(0x90000), QByteArray(0x70000, '\xFF'));
    }

    void acceptsWhatTheFormatAllows_data()
    {
        using brimo::sim::formatSRecord;
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("records");
        const QByteArray s1 = formatSRecord('1', 0x0100, "ONE");
        const QByteArray s2 = formatSRecord('2', 0x020000, "TWO");
        const QByteArray s3 = formatSRecord('3', 0x080010, "ABCDEFGH");
        const QByteArray end = formatSRecord('7', 0, QByteArray());
        QTest::newRow("S1, S2, S3") << s1 + "\r\n" + s2 + "\r\n" + s3 + "\r\n" + end << "3";
        QTest::newRow("count record") << s3 + "\nS5030001FB\n" + end + "\n"
                                      << "1";
        QTest::newRow("lower case, LF only") << s3.toLower().replace('s', 'S') + '\n' << "1";
        QTest::newRow("blank lines") << "\r\n" + s3 + "\r\n\r\n" + end + "\r\n\r\n"
                                     << "1";
        QTest::newRow("last byte of the flash")
            << formatSRecord('3', 0xFFFFF, "Z") + "\n" + s3 << "2";
    }

    void acceptsWhatTheFormatAllows()
    {
        QFETCH(QByteArray, image);
        QFETCH(QString, records);
        const QString file = m_app->filePath("nf.dat");
        QVERIFY(writeFile(file, image));
        const Run run = runTool(QStringList{file, "-b", "57600", "-l", "3"} + kWriteOptions);
        QVERIFY2(run.exitCode == 0, run.errors.constData());
        QCOMPARE(m_device->status().value("records"), records);
        QCOMPARE(m_device->status().value("system"), QStringLiteral("ABCDEFGH"));
    }

    void failsWhenTheDeviceCannotStoreTheImage()
    {
        // The device keeps its flash in a folder that is gone by the time it stores.
        auto flashDir = std::make_unique<QTemporaryDir>();
        DevSimProcess device(4, {"--mode", "dl", "--flash", flashDir->filePath("flash")},
                             m_device->comDir());
        QVERIFY(device.isReady());
        flashDir.reset();
        const QString file = m_app->filePath("nf.dat");
        QVERIFY(writeFile(file, brimo::sim::formatSRecord('3', 0x080010, "ABCDEFGH")));
        const Run run = runTool(QStringList{file, "-b", "57600", "-l", "4"} + kWriteOptions);
        QCOMPARE(run.exitCode, 5);
        QCOMPARE(device.status().value("writes"), QStringLiteral("0"));
        QCOMPARE(device.status().value("system"), QStringLiteral("AB12CD34"));
    }

    void rejectsABadRecordBeforeWritingAnything_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("why");
        using brimo::sim::formatSRecord;
        const QByteArray good = formatSRecord('3', 0x200, QByteArray(16, 'A'));
        QByteArray badSum = good;
        badSum.back() = badSum.back() == '0' ? '1' : '0';
        QByteArray badCount = good;
        badCount.replace(2, 2, "14");
        QByteArray notHex = good;
        notHex[20] = 'G';
        QByteArray unknownType = good;
        unknownType[1] = '4';
        QTest::newRow("checksum") << 5 << badSum << "checksum";
        QTest::newRow("byte count") << 5 << badCount << "count";
        QTest::newRow("hex digit") << 5 << notHex << "hexadecimal";
        QTest::newRow("record type") << 5 << unknownType << "type";
        QTest::newRow("odd length") << 5 << good.chopped(1) << "hexadecimal";
        QTest::newRow("outside the flash")
            << 5 << formatSRecord('3', 0xFFFF8, QByteArray(16, 'A')) << "outside";
        QTest::newRow("last line") << 9 << badSum << "checksum";
        QTest::newRow("count record disagrees")
            << 9 << QByteArray("S5030005F7") << "count"; // 5 where 7 data records came before
    }

    void rejectsABadRecordBeforeWritingAnything()
    {
        QFETCH(int, line);
        QFETCH(QByteArray, record);
        QFETCH(QString, why);
        QList<QByteArray> lines = {brimo::sim::formatSRecord('0', 0, "HDR")};
        for (quint32 address = 0; address < 160; address += 16)
            lines << brimo::sim::formatSRecord('3', address, QByteArray(16, 'D'));
        lines << brimo::sim::formatSRecord('7', 0, QByteArray());
        lines.insert(line - 1, record);
        const QString file = m_app->filePath("nf.dat");
        QVERIFY(writeFile(file, lines.join("\r\n") + "\r\n"));
        const QByteArray flashBefore = readFile(m_device->flashPath());

        const Run run = runTool(QStringList{file, "-b", "57600", "-l", "3"} + kWriteOptions);
        QCOMPARE(run.exitCode, 4);
        QVERIFY2(run.errors.contains(QStringLiteral("line %1: ").arg(line).toUtf8()) &&
                     run.errors.contains(why.toUtf8()),
                 run.errors.constData());
        QCOMPARE(m_device->status().value("writes"), QStringLiteral("0"));
        QVERIFY(readFile(m_device->flashPath()) == flashBefore);
    }

    void takesOneFaultPerRunFromTheFaultsFile()
    {
        QVERIFY(writeFile(m_app->filePath("sirfflashcl.faults"),
                          "exit 7\nnofile\nemptyfile\ndelay 600\ncrash\n"));
        struct Expected {
            int exitCode;
            bool crashed;
            int dumpSize; // -1: no file
            qint64 atLeastMs;
            const char *logged;
        };
        const Expected expected[] = {
            {7, false, -1, 0, "-> exit 7"}, {0, false, -1, 0, "-> exit 0"},
            {0, false, 0, 0, "-> exit 0"},  {0, false, 32, 600, "-> exit 0"},
            {-1, true, -1, 0, "-> crash"},  {0, false, 32, 0, "-> exit 0"},
        };
        const QString dump = m_app->filePath("nf.dat");
        const QStringList arguments = QStringList{dump, "-b", "57600", "-l", "3"} + kReadOptions;
        for (const Expected &want : expected) {
            QFile::remove(dump);
            const Run run = runTool(arguments);
            QCOMPARE(run.crashed, want.crashed);
            if (!want.crashed)
                QCOMPARE(run.exitCode, want.exitCode);
            QCOMPARE(QFile::exists(dump) ? readFile(dump).size() : -1, want.dumpSize);
            QVERIFY(run.elapsedMs >= want.atLeastMs);
            QVERIFY(logLines().last().endsWith(QLatin1String(want.logged)));
        }
        QVERIFY(!QFile::exists(m_app->filePath("sirfflashcl.faults")));
        QCOMPARE(logLines().size(), 6);
    }

    void environmentFaultAppliesToEveryRun()
    {
        qputenv("BRIMO_FLASHTOOL_FAULT", "exit 5");
        const QStringList arguments =
            QStringList{m_app->filePath("nf.dat"), "-b", "57600", "-l", "3"} + kReadOptions;
        QCOMPARE(runTool(arguments).exitCode, 5);
        QCOMPARE(runTool(arguments).exitCode, 5);
        // A line in the faults file is for one run and comes first.
        QVERIFY(writeFile(m_app->filePath("sirfflashcl.faults"), "ok\n"));
        QCOMPARE(runTool(arguments).exitCode, 0);
        QCOMPARE(runTool(arguments).exitCode, 5);
        qunsetenv("BRIMO_FLASHTOOL_FAULT");
    }

private:
    QString tool() const { return m_app->filePath("sirfflashcl.exe"); }

    Run runTool(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("BRIMO_COM_DIR", m_device->comDir());
        process.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        process.start(tool(), arguments);
        Run run;
        if (!process.waitForFinished(20000))
            return run;
        run.elapsedMs = clock.elapsed();
        run.crashed = process.exitStatus() == QProcess::CrashExit;
        run.exitCode = process.exitCode();
        run.errors = process.readAllStandardError();
        return run;
    }

    QStringList logLines() const
    {
        return QString::fromUtf8(readFile(m_app->filePath("sirfflashcl.log")))
            .split(u'\n', Qt::SkipEmptyParts);
    }

    std::unique_ptr<QTemporaryDir> m_app;
    std::unique_ptr<DevSimProcess> m_device;
};

QTEST_GUILESS_MAIN(FlashToolTest)
#include "tst_flashtool.moc"

#include "vendorsimprocess.h"

#include "common/srec.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using brimo::sim::kIdentityAddress;
using brimo::sim::parseSRecord;
using brimo::sim::SRecord;

namespace {

const QString kPing = QStringLiteral("/ws/ping.asp?");
const QString kKnown = QStringLiteral("/ws/updatedevice.asp?SystemCodeString=AB12CD34");

QByteArray headerOf(const QByteArray &reply, const QByteArray &name)
{
    const QByteArray head = reply.left(reply.indexOf("\r\n\r\n"));
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

// Checks every record and returns the data of the identity record.
QByteArray identityOfValidImage(const QByteArray &image)
{
    QList<QByteArray> lines = image.split('\n');
    if (lines.size() < 3 || !lines.takeLast().isEmpty())
        return "image does not end in a line end";
    QByteArray identity;
    for (QByteArray line : lines) {
        if (!line.endsWith('\r'))
            return "line without CR LF";
        line.chop(1);
        SRecord record;
        QString error;
        if (!parseSRecord(line, &record, &error))
            return "bad record " + line + ": " + error.toLatin1();
        if (record.type == '3' && record.address == kIdentityAddress)
            identity = record.data;
    }
    if (!lines.first().startsWith("S0") || !lines.last().startsWith("S7"))
        return "no S0 header or S7 terminator";
    return identity;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(data), data.size());
}

// Peak resident size of a process in KiB, 0 where /proc cannot tell.
qint64 peakResidentKiB(qint64 pid)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf("VmHWM:");
    if (at < 0)
        return 0;
    return status.mid(at + 6, status.indexOf('\n', at) - at - 6)
        .trimmed()
        .split(' ')
        .first()
        .toLongLong();
}

} // namespace

class TestVendorSim : public QObject {
    Q_OBJECT

private slots:
    void answersServiceRequests_data();
    void answersServiceRequests();
    void generatedImageIsValidWithBlankIdentity();
    void writtenImageMatchesServedImage();
    void servesImagesFromFolder();
    void faultShapesReply_data();
    void faultShapesReply();
    void faultLastsForCountServiceRequestsOnly();
    void standingFaultUntilCleared();
    void slowFaultTricklesWholeBody();
    void hangingRequestDoesNotBlockOthers();
    void qtClientNeverGetsBrokenImageWhole_data();
    void qtClientNeverGetsBrokenImageWhole();
    void logsServiceRequestsWithTheirHeaders();
    void largeImageArrivesWhole();
    void rejectsBadCommandLines_data();
    void rejectsBadCommandLines();
};

void TestVendorSim::answersServiceRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("regend");
    QTest::addColumn<QByteArray>("body"); // empty: only checked to be non-empty

    auto get = [](const QString &target) {
        return "GET " + target.toLatin1() + " HTTP/1.1\r\nHost: x\r\n\r\n";
    };
    QTest::newRow("ping") << get(kPing) << 200 << QByteArray() << QByteArray("OK\n");
    QTest::newRow("ping without query")
        << get(QStringLiteral("/ws/ping.asp")) << 200 << QByteArray() << QByteArray("OK\n");
    QTest::newRow("known device") << get(kKnown) << 200 << QByteArray("0011223344556677")
                                  << QByteArray();
    QTest::newRow("tail given at start")
        << get(QStringLiteral("/ws/updatedevice.asp?SystemCodeString=ZZ000001")) << 200
        << QByteArray("DEADBEEF00112233") << QByteArray();
    QTest::newRow("unknown device")
        << get(QStringLiteral("/ws/updatedevice.asp?SystemCodeString=XX999999")) << 500
        << QByteArray() << QByteArray("No update is available for system number XX999999.");
    QTest::newRow("raw space in value")
        << get(QStringLiteral("/ws/updatedevice.asp?SystemCodeString=AB 12")) << 500 << QByteArray()
        << QByteArray("No update is available for system number AB 12.");
    QTest::newRow("no system number")
        << get(QStringLiteral("/ws/updatedevice.asp?")) << 500 << QByteArray()
        << QByteArray("No update is available for system number .");
    QTest::newRow("through a proxy, absolute form")
        << get(QStringLiteral("http://vendor.example/ws/ping.asp?")) << 200 << QByteArray()
        << QByteArray("OK\n");
    QTest::newRow("unknown page") << get(QStringLiteral("/ws/other.asp")) << 404 << QByteArray()
                                  << QByteArray();
    QTest::newRow("POST") << QByteArray("POST /ws/ping.asp HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
                          << 405 << QByteArray() << QByteArray();
    QTest::newRow("bare LF line ends") << QByteArray("GET /ws/ping.asp HTTP/1.0\nHost: x\n\n")
                                       << 200 << QByteArray() << QByteArray("OK\n");
    QTest::newRow("not a request line")
        << QByteArray("HELLO\r\n\r\n") << 400 << QByteArray() << QByteArray();
    QTest::newRow("header without colon")
        << QByteArray("GET /ws/ping.asp HTTP/1.1\r\nbroken\r\n\r\n") << 400 << QByteArray()
        << QByteArray();
    QTest::newRow("endless head") << "GET /ws/ping.asp HTTP/1.1\r\nX: " + QByteArray(70000, 'a')
                                  << 431 << QByteArray() << QByteArray();
}

void TestVendorSim::answersServiceRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, regend);
    QFETCH(QByteArray, body);

    VendorSimProcess service({QStringLiteral("--image"), QStringLiteral("AB12CD34"),
                              QStringLiteral("--image"),
                              QStringLiteral("ZZ000001:2000:DEADBEEF00112233")});
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    const QByteArray reply = service.exchange(request);
    QCOMPARE(VendorSimProcess::statusOf(reply), status);
    QCOMPARE(headerOf(reply, "REGEND"), regend);
    const QByteArray received = VendorSimProcess::bodyOf(reply);
    QCOMPARE(headerOf(reply, "Content-Length").toLongLong(), received.size());
    QCOMPARE(headerOf(reply, "Connection"), QByteArray("close"));
    if (body.isEmpty())
        QVERIFY(!received.isEmpty());
    else
        QCOMPARE(received, body);
}

void TestVendorSim::generatedImageIsValidWithBlankIdentity()
{
    VendorSimProcess service({QStringLiteral("--image"), QStringLiteral("AB12CD34:2000000")});
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    const QByteArray image = VendorSimProcess::bodyOf(service.get(kKnown));
    QVERIFY(image.size() >= 2000000);
    QCOMPARE(identityOfValidImage(image), QByteArray(16, '\xFF'));
    // The utility finds the record by this text and replaces exactly 46 characters.
    QCOMPARE(image.count("S31500080010"), 1);
    QVERIFY(image.contains("\r\nS31500080010" + QByteArray(32, 'F') + "E2\r\n"));
}

void TestVendorSim::writtenImageMatchesServedImage()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("AB12CD34.srec"));
    QProcess writer;
    writer.start(QStringLiteral(BRIMO_APP_DIR "/brimo-vendorsim"),
                 {QStringLiteral("--write-image"), file, QStringLiteral("--system-number"),
                  QStringLiteral("AB12CD34"), QStringLiteral("--size"), QStringLiteral("5000"),
                  QStringLiteral("--regend"), QStringLiteral("8899AABBCCDDEEFF")});
    QVERIFY(writer.waitForFinished(20000));
    QCOMPARE(writer.exitCode(), 0);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("AB12CD34.regend"))).trimmed(),
             QByteArray("8899AABBCCDDEEFF"));

    VendorSimProcess service({QStringLiteral("--image"), QStringLiteral("AB12CD34:5000"),
                              QStringLiteral("--image"), QStringLiteral("CD34AB12:5000")});
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    QCOMPARE(VendorSimProcess::bodyOf(service.get(kKnown)), readFile(file));
    // Each device gets its own data, so a mixed-up image shows.
    const QByteArray other = VendorSimProcess::bodyOf(
        service.get(QStringLiteral("/ws/updatedevice.asp?SystemCodeString=CD34AB12")));
    QCOMPARE(other.size(), readFile(file).size());
    QVERIFY(other != readFile(file));
}

void TestVendorSim::servesImagesFromFolder()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("AB12CD34.srec")), "S0030000FC\r\nany text at all\r\n");
    writeFile(dir.filePath(QStringLiteral("AB12CD34.regend")), "0102030405060708\r\nsecond line\n");
    writeFile(dir.filePath(QStringLiteral("NOTAIL01.srec")), "image without tail");
    writeFile(dir.filePath(QStringLiteral("secret.srec")), "outside");

    VendorSimProcess service({QStringLiteral("--images"), dir.path()});
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    QByteArray reply = service.get(kKnown);
    QCOMPARE(VendorSimProcess::bodyOf(reply), QByteArray("S0030000FC\r\nany text at all\r\n"));
    QCOMPARE(headerOf(reply, "REGEND"), QByteArray("0102030405060708"));

    reply = service.get(QStringLiteral("/ws/updatedevice.asp?SystemCodeString=NOTAIL01"));
    QCOMPARE(VendorSimProcess::statusOf(reply), 200);
    QVERIFY(!reply.contains("REGEND"));

    // A file added while the service runs is found on the next request.
    writeFile(dir.filePath(QStringLiteral("LATE0001.srec")), "late");
    reply = service.get(QStringLiteral("/ws/updatedevice.asp?SystemCodeString=LATE0001"));
    QCOMPARE(VendorSimProcess::bodyOf(reply), QByteArray("late"));

    reply = service.get(QStringLiteral("/ws/updatedevice.asp?SystemCodeString=../secret"));
    QCOMPARE(VendorSimProcess::statusOf(reply), 500);
}

void TestVendorSim::faultShapesReply_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("hasRegend");
    QTest::addColumn<QByteArray>("body"); // "*": the full image, "*half": its first half

    QTest::newRow("404") << "404" << kKnown << 404 << false << QByteArray("No such page\n");
    QTest::newRow("403") << "403" << kKnown << 403 << false << QByteArray("Access denied\n");
    QTest::newRow("500 on ping") << "500" << kPing << 500 << false
                                 << QByteArray("The update service is temporarily unavailable.");
    QTest::newRow("empty ping") << "empty" << kPing << 200 << false << QByteArray();
    QTest::newRow("empty image") << "empty" << kKnown << 200 << false << QByteArray();
    QTest::newRow("noregend") << "noregend" << kKnown << 200 << false << QByteArray("*");
    QTest::newRow("cut") << "cut" << kKnown << 200 << true << QByteArray("*half");
    QTest::newRow("nothttp") << "nothttp" << kKnown << 0 << false << QByteArray();
    QTest::newRow("none") << "none" << kKnown << 200 << true << QByteArray("*");
}

void TestVendorSim::faultShapesReply()
{
    QFETCH(QString, mode);
    QFETCH(QString, target);
    QFETCH(int, status);
    QFETCH(bool, hasRegend);
    QFETCH(QByteArray, body);

    VendorSimProcess service({QStringLiteral("--image"), QStringLiteral("AB12CD34")});
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    const QByteArray image = VendorSimProcess::bodyOf(service.get(kKnown));
    QVERIFY(service.setFault(mode));
    const QByteArray reply = service.get(target);
    QCOMPARE(VendorSimProcess::statusOf(reply), status);
    QCOMPARE(!headerOf(reply, "REGEND").isEmpty(), hasRegend);
    if (body == "*half") {
        QCOMPARE(headerOf(reply, "Content-Length").toLongLong(), image.size());
        QCOMPARE(VendorSimProcess::bodyOf(reply), image.left(image.size() / 2));
    } else {
        QCOMPARE(VendorSimProcess::bodyOf(reply), body == "*" ? image : body);
    }
    if (status == 0)
        QVERIFY(!reply.isEmpty() && !reply.startsWith("HTTP"));
}

void TestVendorSim::faultLastsForCountServiceRequestsOnly()
{
    VendorSimProcess service;
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    QVERIFY(service.setFault(QStringLiteral("403"), 2));
    QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 403);
    service.requests(); // control paths leave the queue alone
    QCOMPARE(VendorSimProcess::statusOf(service.get(QStringLiteral("/sim/moved"))), 200);
    QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 403);
    QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 200);

    QVERIFY(!service.setFault(QStringLiteral("teapot")));
    QVERIFY(!service.setFault(QStringLiteral("404"), 0));
    QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 200);

    QVERIFY(service.setFault(QStringLiteral("302")));
    const QByteArray reply = service.get(kPing);
    QCOMPARE(VendorSimProcess::statusOf(reply), 302);
    QCOMPARE(headerOf(reply, "Location"), service.url(QStringLiteral("/sim/moved")).toEncoded());
}

void TestVendorSim::standingFaultUntilCleared()
{
    VendorSimProcess service({QStringLiteral("--fault"), QStringLiteral("500")});
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 500);
    // A queued fault goes first, then the standing one is back.
    QVERIFY(service.setFault(QStringLiteral("404")));
    QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 404);
    QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 500);
    QVERIFY(service.setFault(QStringLiteral("none")));
    QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 200);
}

void TestVendorSim::slowFaultTricklesWholeBody()
{
    VendorSimProcess service({QStringLiteral("--image"), QStringLiteral("AB12CD34:100000"),
                              QStringLiteral("--slow-ms"), QStringLiteral("1500")});
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    const QByteArray whole = service.get(kKnown);
    QVERIFY(service.setFault(QStringLiteral("slow")));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(service.get(kKnown), whole);
    QVERIFY2(clock.elapsed() >= 1200, qPrintable(QString::number(clock.elapsed())));

    QVERIFY(service.setFault(QStringLiteral("slow")));
    clock.restart();
    QCOMPARE(VendorSimProcess::bodyOf(service.get(kPing)), QByteArray("OK\n"));
    QVERIFY2(clock.elapsed() >= 1200, qPrintable(QString::number(clock.elapsed())));
}

void TestVendorSim::hangingRequestDoesNotBlockOthers()
{
    VendorSimProcess service;
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    QVERIFY(service.setFault(QStringLiteral("hang")));

    QTcpSocket hanging;
    hanging.setProxy(QNetworkProxy::NoProxy);
    hanging.connectToHost(service.host(), service.port());
    QVERIFY(hanging.waitForConnected(5000));
    hanging.write("GET /ws/ping.asp? HTTP/1.1\r\n\r\n");
    QVERIFY(hanging.waitForBytesWritten(5000));
    // The request has been taken once it shows in the log; from then on
    // other clients are served while this one waits.
    QTRY_VERIFY(service.requests().contains("GET /ws/ping.asp?"));
    QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 200);
    QVERIFY(!hanging.waitForReadyRead(1000));
    QCOMPARE(hanging.state(), QAbstractSocket::ConnectedState);
}

void TestVendorSim::qtClientNeverGetsBrokenImageWhole_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("receivedPercent");

    QTest::newRow("cut") << "cut" << 200 << 50;
    QTest::newRow("nothttp") << "nothttp" << 0 << 0;
    QTest::newRow("none") << "none" << 200 << 100;
}

// What the utility's own HTTP stack makes of the broken answers. The fault
// stands for every request, as Qt quietly resends a GET whose answer broke.
void TestVendorSim::qtClientNeverGetsBrokenImageWhole()
{
    QFETCH(QString, mode);
    QFETCH(int, status);
    QFETCH(int, receivedPercent);

    VendorSimProcess service(
        {QStringLiteral("--image"), QStringLiteral("AB12CD34"), QStringLiteral("--fault"), mode});
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(service.url(kKnown))));
    qint64 received = 0;
    connect(reply.get(), &QNetworkReply::readyRead, this,
            [&] { received += reply->readAll().size(); });
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 20000);
    received += reply->readAll().size();

    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    const qint64 full = brimo::sim::makeImage(1024 * 1024, QByteArray(16, '\xFF')).size();
    QCOMPARE(received, full * receivedPercent / 100);
    if (status != 0)
        QCOMPARE(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(), full);
}

void TestVendorSim::logsServiceRequestsWithTheirHeaders()
{
    VendorSimProcess service;
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    service.exchange("GET /ws/ping.asp? HTTP/1.1\r\nHost: a\r\nVia: 1.1 gateway\r\n\r\n");
    service.get(kKnown);
    service.setFault(QStringLiteral("404"));
    QCOMPARE(service.requests(true),
             QByteArray("GET /ws/ping.asp? HTTP/1.1\nHost: a\nVia: 1.1 gateway\n\n"
                        "GET " +
                        kKnown.toLatin1() + " HTTP/1.1\nHost: " + service.hostPort().toLatin1() +
                        "\nConnection: close\n\n"));
    QCOMPARE(service.requests(), QByteArray());
}

void TestVendorSim::largeImageArrivesWhole()
{
    const qint64 size = 24 * 1024 * 1024;
    VendorSimProcess service({QStringLiteral("--image"), QStringLiteral("AB12CD34:%1").arg(size)});
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    const qint64 peakBefore = peakResidentKiB(service.processId());
    const QByteArray reply = service.get(kKnown, 60000);
    const QByteArray body = VendorSimProcess::bodyOf(reply);
    QVERIFY(body.size() >= size);
    QCOMPARE(headerOf(reply, "Content-Length").toLongLong(), body.size());
    QVERIFY(body.endsWith(brimo::sim::formatSRecord('7', 0, {}) + "\r\n"));
    // Sent in pieces: the image is not copied whole into the socket's buffer.
    if (peakBefore > 0) {
        const qint64 growth = peakResidentKiB(service.processId()) - peakBefore;
        QVERIFY2(growth < size / 1024 / 4, qPrintable(QString::number(growth)));
    }
}

void TestVendorSim::rejectsBadCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("unknown fault") << QStringList{"--fault", "teapot"} << QByteArray("teapot");
    QTest::newRow("bad size") << QStringList{"--image", "AB12CD34:big"} << QByteArray("big");
    QTest::newRow("negative size") << QStringList{"--image", "AB12CD34:-5"} << QByteArray("-5");
    QTest::newRow("empty system number")
        << QStringList{"--image", ":100"} << QByteArray("SYSNO[:SIZE[:REGEND]]");
    QTest::newRow("too many fields")
        << QStringList{"--image", "A:1:2:3"} << QByteArray("SYSNO[:SIZE[:REGEND]]");
    QTest::newRow("bad listen") << QStringList{"--listen", "nohost:port"} << QByteArray("--listen");
    QTest::newRow("write without size")
        << QStringList{"--write-image", "/tmp/x.srec", "--system-number", "A"}
        << QByteArray("--size");
    QTest::newRow("unwritable image") << QStringList{"--write-image",   "/nonexistent/dir/x.srec",
                                                     "--system-number", "A",
                                                     "--size",          "10"}
                                      << QByteArray("cannot write");
    QTest::newRow("stray argument") << QStringList{"extra"} << QByteArray("extra");
    QTest::newRow("unknown option") << QStringList{"--colour"} << QByteArray("colour");
    QTest::newRow("option without value") << QStringList{"--fault"} << QByteArray("fault");
}

void TestVendorSim::rejectsBadCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);

    QProcess process;
    process.start(QStringLiteral(BRIMO_APP_DIR "/brimo-vendorsim"), arguments);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    const QByteArray error = process.readAllStandardError();
    QVERIFY2(error.contains(message), error.constData());
}

QTEST_GUILESS_MAIN(TestVendorSim)
#include "tst_vendorsim.moc"

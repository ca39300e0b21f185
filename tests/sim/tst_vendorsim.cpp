// The stand-in vendor service answers as the utility's tests assume: its
// pages, each fault's bytes on the wire, and what it logs of the requests.
#include "vendorsimprocess.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

const QString kUpdate = QStringLiteral("/ws/updatedevice.asp?SystemCodeString=");
const QString kKnown = kUpdate + "AB12CD34";
const QString kPing = QStringLiteral("/ws/ping.asp?");

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

} // namespace

class VendorSimTest : public QObject {
    Q_OBJECT

private slots:
    void answersServiceRequests_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("regend");
        QTest::addColumn<QByteArray>("bodyHas");
        // The utility must put the device's own identity into the served image.
        const QByteArray blankIdentity = "\r\nS31500080010" + QByteArray(32, 'F') + "E2\r\n";
        QTest::newRow("ping") << kPing << 200 << QByteArray() << QByteArray("OK");
        QTest::newRow("known") << kKnown << 200 << QByteArray("0011223344556677") << blankIdentity;
        QTest::newRow("tail given at start")
            << kUpdate + "ZZ000001" << 200 << QByteArray("DEADBEEF00112233") << blankIdentity;
        QTest::newRow("unknown") << kUpdate + "XX999999" << 500 << QByteArray()
                                 << QByteArray(
                                        "No update is available for system number XX999999.");
    }

    void answersServiceRequests()
    {
        QFETCH(QString, target);
        QFETCH(int, status);
        QFETCH(QByteArray, regend);
        QFETCH(QByteArray, bodyHas);
        VendorSimProcess service(
            {"--image", "AB12CD34", "--image", "ZZ000001:2000:DEADBEEF00112233"});
        QVERIFY2(service.isListening(), qPrintable(service.errorString()));
        const QByteArray reply = service.get(target);
        QCOMPARE(VendorSimProcess::statusOf(reply), status);
        QCOMPARE(headerOf(reply, "REGEND"), regend);
        const QByteArray body = VendorSimProcess::bodyOf(reply);
        QCOMPARE(headerOf(reply, "Content-Length").toLongLong(), body.size());
        QVERIFY2(body.contains(bodyHas), body.left(200).constData());
    }

    void faultShapesTheReply_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("status"); // 0: no HTTP answer
        QTest::addColumn<bool>("hasRegend");
        QTest::addColumn<QByteArray>("body"); // "*": the full image, "*half": its first half
        QTest::addColumn<int>("atLeastMs");
        QTest::newRow("404") << "404" << 404 << false << QByteArray("No such page\n") << 0;
        QTest::newRow("302") << "302" << 302 << false << QByteArray("Moved\n") << 0;
        QTest::newRow("403") << "403" << 403 << false << QByteArray("Access denied\n") << 0;
        QTest::newRow("500") << "500" << 500 << false
                             << QByteArray("The update service is temporarily unavailable.") << 0;
        QTest::newRow("empty") << "empty" << 200 << false << QByteArray() << 0;
        QTest::newRow("noregend") << "noregend" << 200 << false << QByteArray("*") << 0;
        QTest::newRow("slow") << "slow" << 200 << true << QByteArray("*") << 1200;
        QTest::newRow("cut") << "cut" << 200 << true << QByteArray("*half") << 0;
        QTest::newRow("nothttp") << "nothttp" << 0 << false << QByteArray() << 0;
        QTest::newRow("hang") << "hang" << 0 << false << QByteArray() << 0;
    }

    void faultShapesTheReply()
    {
        QFETCH(QString, mode);
        QFETCH(int, status);
        QFETCH(bool, hasRegend);
        QFETCH(QByteArray, body);
        QFETCH(int, atLeastMs);
        VendorSimProcess service({"--image", "AB12CD34:100000", "--slow-ms", "1500"});
        QVERIFY2(service.isListening(), qPrintable(service.errorString()));
        const QByteArray image = VendorSimProcess::bodyOf(service.get(kKnown));
        QVERIFY(service.setFault(mode));
        QElapsedTimer clock;
        clock.start();
        const QByteArray reply = service.get(kKnown, mode == "hang" ? 1500 : 10000);
        QVERIFY2(clock.elapsed() >= atLeastMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(VendorSimProcess::statusOf(reply), status);
        QCOMPARE(!headerOf(reply, "REGEND").isEmpty(), hasRegend);
        if (body == "*half") {
            QCOMPARE(headerOf(reply, "Content-Length").toLongLong(), image.size());
            QCOMPARE(VendorSimProcess::bodyOf(reply), image.left(image.size() / 2));
        } else {
            QCOMPARE(VendorSimProcess::bodyOf(reply), body == "*" ? image : body);
        }
        if (mode == "302")
            QCOMPARE(headerOf(reply, "Location"), service.url("/sim/moved").toEncoded());
        QCOMPARE(reply.isEmpty(), mode == "hang");
    }

    // Control requests neither use up a fault nor show among the service requests.
    void faultLastsForCountServiceRequestsOnly()
    {
        VendorSimProcess service;
        QVERIFY2(service.isListening(), qPrintable(service.errorString()));
        QVERIFY(!service.setFault("teapot"));
        QVERIFY(service.setFault("403", 2));
        const QByteArray viaProxy =
            "GET /ws/ping.asp? HTTP/1.1\r\nHost: a\r\nVia: 1.1 gateway\r\n\r\n";
        QCOMPARE(VendorSimProcess::statusOf(service.exchange(viaProxy)), 403);
        QCOMPARE(service.requests(true), QByteArray(viaProxy).replace('\r', ""));
        QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 403);
        QCOMPARE(VendorSimProcess::statusOf(service.get(kPing)), 200);
        QCOMPARE(service.requests(),
                 QByteArray("GET " + kPing.toLatin1() + " HTTP/1.1\nHost: " +
                            service.hostPort().toLatin1() + "\nConnection: close\n\n")
                     .repeated(2));
    }
};

QTEST_GUILESS_MAIN(VendorSimTest)
#include "tst_vendorsim.moc"

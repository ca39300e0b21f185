// The web service client against the real thing on loopback: a peer
// scripted to the byte, and the stand-in vendor service.
#include "webservice/webservice.h"

#include "common/srec.h"
#include "filesizelimit.h"
#include "loopbackserver.h"
#include "vendorsimprocess.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <optional>

using brimo::webservice;

namespace {

constexpr char kSystemNo[] = "AB12CD34";
const QByteArray kTail = "0123456789ABCDEF";
constexpr int kMiB = 1 << 20;
// The states a request that ends with an answer reports, in their order.
const QList<qint16> kAnsweredStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

QByteArray head(const QByteArray &status, const QByteArray &headers = {})
{
    return "HTTP/1.1 " + status + "\r\n" + headers + "\r\n";
}

QByteArray length(qint64 bytes)
{
    return "Content-Length: " + QByteArray::number(bytes) + "\r\n";
}

} // namespace

class TestWebService : public QObject {
    Q_OBJECT

private slots:
    void requestAddress_data();
    void requestAddress();
    void updateDeviceAnswers_data();
    void updateDeviceAnswers();
    void storedProxyCarriesTheRequest_data();
    void storedProxyCarriesTheRequest();
    void loginIsNeverGiven_data();
    void loginIsNeverGiven();

private:
    // A client of the service at `host`, keeping a download in `folder`, its
    // proxy in a settings file of its own; each request's states noted.
    struct Client {
        explicit Client(const QString &host, const QString &folder)
            : store(settings.filePath("settings")), service(host, folder, store)
        {}
        brimo::response ping() { return service.ping(noted); }
        bool online() { return ping().iResponseCode == 200; }
        brimo::response fetch(const QString &number) { return service.UpdateDevice(number, noted); }
        const webservice::StateListener noted = [this](qint16 state) { states << state; };
        QTemporaryDir settings;
        brimo::RegistryStore store;
        webservice service;
        QList<qint16> states;
    };

    // Where a download is kept.
    QTemporaryDir m_appFolder;
};

// The system number goes into the address as written; the request still
// reaches the service with the same text, escaped only where a URL needs it.
// The ping's address ends in "?".
void TestWebService::requestAddress_data()
{
    QTest::addColumn<QString>("systemNumber"); // empty: a ping
    QTest::addColumn<QString>("query");
    QTest::newRow("the ping: no pairs") << QString() << "/ws/ping.asp?";
    QTest::newRow("nothing encoded")
        << "two words&more=yes#1"
        << "/ws/updatedevice.asp?SystemCodeString=two words&more=yes#1";
    // A system number is the device's bytes, one character each.
    const QString deviceBytes = QString::fromLatin1("AB\xE9\xFF\x80\x01") + "CD";
    QTest::newRow("bytes above 0x7F go out as themselves")
        << deviceBytes << "/ws/updatedevice.asp?SystemCodeString=" + deviceBytes;
}

void TestWebService::requestAddress()
{
    QFETCH(QString, systemNumber);
    QFETCH(QString, query);

    LoopbackServer server(head("200 OK", length(1)) + "x");
    Client client(server.hostPort(), m_appFolder.path());
    if (systemNumber.isEmpty())
        QVERIFY(client.online());
    else
        QCOMPARE(client.fetch(systemNumber).iResponseCode, qint16{200});
    const QByteArray line = server.requests.split('\r').first();
    QCOMPARE(line.count(' '), 2);
    QCOMPARE(QByteArray::fromPercentEncoding(line), "GET " + query.toLatin1() + " HTTP/1.1");
}

// Every answer the service can give or fail to give, sent as `head`, then
// `body` `copies` times: the result (0 an image, 1 the service's refusal, 2
// none), the status, the log line, the image or the message, the states (one
// state: the last). Nothing listens on port 1.
void TestWebService::updateDeviceAnswers_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("copies");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QList<qint16>>("states");

    const auto row = [](const char *name, const QByteArray &head, const QByteArray &body,
                        int result, int code, const QString &logged = {}, int copies = 1,
                        const QString &host = {}, QList<qint16> states = {}) {
        if (states.isEmpty())
            states = code != 0 ? kAnsweredStates : QList<qint16>{11};
        QTest::newRow(name) << head << body << copies << host << result << code << logged << states;
    };
    const QByteArray image = brimo::sim::makeImage(20000, QByteArray(16, '\xFF'));
    const QByteArray regEnd = "REGEND: " + kTail + "\r\n";
    const auto served = [](const QByteArray &body, const QByteArray &headers,
                           const QByteArray &status = "200 OK") {
        return head(status, headers + length(body.size()));
    };
    const QString notWhole = QStringLiteral("The update is not a whole image: ");
    const auto lineAt = [&image](qsizetype at) { return image.left(at).count('\n') + 1; };
    const qsizetype damaged = image.indexOf("\r\nS3", 100) + 2 + 45;
    QByteArray badRecord = image;
    badRecord[damaged] = image.at(damaged) == '0' ? '1' : '0';
    const QByteArray halfWay = image.left(image.indexOf("\r\n", image.size() / 2) + 2);
    const QByteArray message = "No update for this device.\r\n<b>";

    row("image", served(image, regEnd), image, 0, 200);
    row("image without REGEND", served(image, {}), image, 2, 200,
        "The update came without its identity tail (REGEND)");
    row("damaged record", served(badRecord, regEnd), badRecord, 2, 200,
        notWhole + QStringLiteral("line %1 has a wrong checksum").arg(lineAt(damaged)));
    row("cut at a line boundary, no length", head("200 OK", regEnd), halfWay, 2, 200,
        notWhole + "it does not end with a termination record");
    row("cut half-way", served(image, regEnd), image.left(9000), 2, 0);
    row("refused by the service", served(message, {}, "500 Error"), message, 1, 500);
    row("302", served("x", "Location: /\r\n", "302 Found"), "x", 2, 302);
    row("404", served("x", {}, "404 Not Found"), "x", 2, 404);
    row("401 with no way to log in", served("x", {}, "401 Unauthorized"), "x", 2, 0);
    row("empty body", served({}, regEnd), {}, 2, 0, {}, 1, {}, {12});
    row("not HTTP", "no web server here\r\n\r\n", {}, 2, 0);
    row("refused port", {}, {}, 2, 0, {}, 0, "127.0.0.1:1", {1, 2, 3, 11});
    row("unknown host", {}, {}, 2, 0, {}, 0, "no-such-host.invalid", {1, 11});
    // The most an answer may hold is 64 MiB; one that declares more is
    // refused before its body.
    row("64 MiB declared", head("200 OK", regEnd + length(64 * kMiB)), QByteArray(kMiB, 'x'), 2,
        200, notWhole + "line 1 is not an S-record", 64);
    row("endless: past 64 MiB with no length", head("200 OK", regEnd) + "x", QByteArray(kMiB, 'x'),
        2, 0, {}, 64);
    row("declares 100 MiB", head("200 OK", regEnd + length(100 * kMiB)), image, 2, 0, {}, 1, {},
        {1, 2, 3, 4, 5, 6, 11});
    // The image is kept in a file as it arrives; a full disk ends the transfer.
    row("disk full", served(image, regEnd), image, 2, 0,
        QString::fromLocal8Bit(std::strerror(EFBIG)));
}

void TestWebService::updateDeviceAnswers()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, body);
    QFETCH(int, copies);
    QFETCH(QString, host);
    QFETCH(int, result);
    QFETCH(int, code);
    QFETCH(QString, logged);
    QFETCH(QList<qint16>, states);

    LoopbackServer server(head, body, copies);
    Client client(host.isEmpty() ? server.hostPort() : host, m_appFolder.path());
    std::optional<FileSizeLimit> limit;
    if (QByteArray(QTest::currentDataTag()) == "disk full")
        QVERIFY(limit.emplace(64 * 1024).isApplied());
    const brimo::response record = client.fetch(QString::fromLatin1(kSystemNo));
    limit.reset();
    QCOMPARE(record.objDF ? 0 : record.iResponseCode == 500 ? 1 : 2, result);
    QCOMPARE(record.iResponseCode, qint16(code));
    QCOMPARE(record.problem, logged);
    QCOMPARE(record.strContent, code == 0 ? QString() : QString::fromLatin1(body.left(4096)));
    // Only a whole image is kept, in a file beside the work file.
    QFile kept(record.objDF ? record.objDF->path() : QString());
    QCOMPARE(kept.open(QIODevice::ReadOnly) ? kept.readAll() : QByteArray(),
             result == 0 ? body : "");
    QCOMPARE(record.objDF ? record.objDF->strRegEnd : QByteArray(), result == 0 ? kTail : "");
    QCOMPARE(QDir(m_appFolder.path()).entryList({"nf*"}, QDir::Files).size(), result == 0 ? 1 : 0);
    // Qt may send again by itself when the line breaks; the fault covers one.
    const qsizetype sent =
        server.requests.count("GET /ws/updatedevice.asp?SystemCodeString=AB12CD34 ");
    QVERIFY2(host.isEmpty() ? sent == 1 || sent == 2 : sent == 0,
             qPrintable(QString::number(sent)));
    QVERIFY(!server.requests.toLower().contains("authorization"));
    QCOMPARE(states.size() == 1 ? client.states.mid(client.states.size() - 1) : client.states,
             states);
}

// The stored "ProxyServer" and "ProxyPort", and the port the proxy listens
// on, a free one unless named; %1 stands for it.
void TestWebService::storedProxyCarriesTheRequest_data()
{
    QTest::addColumn<QStringList>("setting");
    QTest::newRow("whole address") << QStringList{"http://127.0.0.1:%1/", "", ""};
    QTest::newRow("stored port wins") << QStringList{"127.0.0.1:1", " %1 ", ""};
    QTest::newRow("port not a number: 8080") << QStringList{"127.0.0.1", "not a port", "8080"};
    QTest::newRow("port 0 in the address: 8080") << QStringList{"127.0.0.1:0", "", "8080"};
    QTest::newRow("the highest port") << QStringList{"127.0.0.1", "65535", "65535"};
}

// The stored proxy counts from the next request: one client goes straight to
// the service, then through the proxy, fails while the proxy is down and goes
// straight again once the setting is cleared.
void TestWebService::storedProxyCarriesTheRequest()
{
    QFETCH(QStringList, setting);

    const QByteArray answer = head("200 OK", length(1)) + "x";
    LoopbackServer service(answer);
    LoopbackServer proxy(answer);
    if (!setting[2].isEmpty() &&
        !(proxy.close(), proxy.listen(QHostAddress::LocalHost, setting[2].toUShort())))
        QSKIP("the proxy's port is taken");
    Client client(service.hostPort(), m_appFolder.path());
    QVERIFY(client.online());
    setting.replaceInStrings("%1", QString::number(proxy.serverPort()));
    client.store.setValue("ProxyServer", setting[0]);
    client.store.setValue("ProxyPort", setting[1]);
    QVERIFY(client.online());
    const QByteArray sent = "GET http://" + service.hostPort().toLatin1() + "/ws/ping.asp? ";
    QVERIFY2(proxy.requests.startsWith(sent), proxy.requests.constData());
    proxy.close();
    QVERIFY(!client.online());
    QCOMPARE(client.states.last(), qint16{11});
    client.store.setValue("ProxyServer", "");
    QVERIFY(client.online());
    QCOMPARE(service.requests.count("GET /ws/ping.asp? "), 2);
}

// A service that asks for a login (Basic, NTLM and Negotiate at once) gets
// none, straight or through a proxy (the stand-in takes a request in a
// proxy's form as the service would), and a proxy that asks for one gets
// none either, which the log names: the request has failed, as one that got
// no answer, and was sent once.
void TestWebService::loginIsNeverGiven_data()
{
    QTest::addColumn<bool>("download");
    QTest::addColumn<QString>("asks"); // the service; through a proxy; the proxy
    for (const char *who : {"service", "service through a proxy", "proxy"}) {
        QTest::addRow("ping, %s", who) << false << QString(who);
        QTest::addRow("download, %s", who) << true << QString(who);
    }
}

void TestWebService::loginIsNeverGiven()
{
    QFETCH(bool, download);
    QFETCH(QString, asks);

    VendorSimProcess service({"--image", QString::fromLatin1(kSystemNo) + ":0"});
    QVERIFY(service.isListening() && service.setFault("401"));
    LoopbackServer proxy(head("407 Proxy Authentication Required",
                              "Proxy-Authenticate: Basic realm=\"x\"\r\nProxy-Authenticate: "
                              "NTLM\r\nProxy-Authenticate: Negotiate\r\n" +
                                  length(0)));
    Client client(service.hostPort(), m_appFolder.path());
    if (asks != "service")
        client.store.setValue("ProxyServer",
                              asks == "proxy" ? proxy.hostPort() : service.hostPort());
    const brimo::response answer = download ? client.fetch(kSystemNo) : client.ping();
    QVERIFY(answer.iResponseCode == 0 && client.states.last() == 11);
    QCOMPARE(answer.problem,
             asks == "proxy" ? "The proxy server asked for a login (407)" : QString());
    const QByteArray requests = asks == "proxy" ? proxy.requests : service.requests();
    QVERIFY2(requests.count("GET ") == 1 && !requests.toLower().contains("authorization"),
             requests.constData());
}

QTEST_GUILESS_MAIN(TestWebService)
#include "tst_webservice.moc"

#include "image/imagecheck.h"
#include "webservice/webservice.h"

#include "common/srec.h"
#include "filesizelimit.h"
#include "loopbackserver.h"
#include "recordingwindow.h"
#include "vendorsimprocess.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <optional>

using brimo::FormData;
using brimo::webservice;
using brimo::sim::formatSRecord;

namespace {

constexpr char kSystemNo[] = "AB12CD34";
const QByteArray kTail = "0123456789ABCDEF";
constexpr int kMiB = 1 << 20;

QByteArray head(const QByteArray &status, const QByteArray &headers = {})
{
    return "HTTP/1.1 " + status + "\r\n" + headers + "\r\n";
}

QByteArray length(qint64 bytes)
{
    return "Content-Length: " + QByteArray::number(bytes) + "\r\n";
}

// Each record type at its shortest, and a data record of 16 bytes.
const QByteArray kHeader = "S00600004844521B";
const QByteArray kData = "S31500001000000102030405060708090A0B0C0D0E0F62";
const QByteArray kOthers = "S30500001010DA\r\nS1050020ABCD62\r\nS20503000001F6";
const QByteArray kEnd = "S70500000000FA";

QByteArray lines(const QByteArrayList &records, const char *lineEnd = "\r\n")
{
    return records.join(lineEnd) + lineEnd;
}

} // namespace

class TestWebService : public QObject {
    Q_OBJECT

private slots:
    void refusesAllButAWholeImage_data();
    void refusesAllButAWholeImage();
    void requestAddress_data();
    void requestAddress();
    void updateDeviceAnswers_data();
    void updateDeviceAnswers();
    void storedProxyCarriesTheRequest_data();
    void storedProxyCarriesTheRequest();
    void loginIsNeverGiven_data();
    void loginIsNeverGiven();

private:
    // Where a download is kept.
    QTemporaryDir m_appFolder;
};

void TestWebService::refusesAllButAWholeImage_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("regEnd");
    QTest::addColumn<QString>("problem");

    const auto row = [](const char *name, const QByteArray &image, const QString &problem,
                        const QByteArray &regEnd = kTail) {
        QTest::newRow(name) << image << regEnd << problem;
    };
    const QString notWhole = QStringLiteral("The update is not a whole image: ");
    const QByteArray image = lines({kHeader, kData, kOthers, kEnd});
    row("CR LF", image, "");
    row("LF, lower-case digits, S8 without a line end",
        lines({kHeader, "S3" + kData.mid(2).toLower(), "S30500001010da"}, "\n") + "S804000000FB",
        "");
    row("S9 after CR LF and LF", kHeader + "\r\n" + kData + "\nS9030000FC\r\n", "");
    row("tail in lower case", image, "", "aabbccddeeff0011");
    row("blank line", lines({kHeader, "", kData, kEnd}), notWhole + "line 2 is not an S-record");
    row("blank line at the end", image + "\r\n",
        notWhole + "line 7 follows its termination record");
    row("record type S4", lines({"S4030000FC", kEnd}), notWhole + "line 1 is not an S-record");
    row("lower-case s", lines({"s9030000FC"}), notWhole + "line 1 is not an S-record");
    row("CR inside a line", lines({kHeader, "S9030000\rFC"}),
        notWhole + "line 2 holds a character that is not a hexadecimal digit");
    row("odd digit at the end", lines({kHeader, kEnd + "G"}),
        notWhole + "line 2 holds a character that is not a hexadecimal digit");
    row("count one too many", lines({"S31600001000000102030405060708090A0B0C0D0E0F62", kEnd}),
        notWhole + "line 1 is not as long as its byte count says");
    row("one digit missing", lines({kHeader, kEnd.left(13)}),
        notWhole + "line 2 is not as long as its byte count says");
    row("S3 count 4", lines({"S304000010EB", kEnd}),
        notWhole + "line 1 is too short for its record type");
    // The device's identity, 0x080010 to 0x08001F, is written by copies of one
    // whole identity record only.
    const QByteArray identity = formatSRecord('3', 0x080010, QByteArray(16, '\xFF'));
    const QByteArray before = formatSRecord('3', 0x080008, "8 bytes.");
    const QByteArray after = formatSRecord('3', 0x080020, "16 bytes of data");
    const QString overwrites = "The update writes over the device's identity: line ";
    row("copies of one identity record, records on either side",
        lines({kHeader, identity, before, identity, after, kEnd}), "");
    row("a later record over its last 8 bytes",
        lines({kHeader, identity, kData, formatSRecord('3', 0x080018, "ZZ99YY88"), kEnd}),
        overwrites + "4");
    row("an S2 record over its first bytes",
        lines({kHeader, formatSRecord('2', 0x08000C, "8 bytes."), kEnd}), overwrites + "2");
    row("half an identity record", lines({kHeader, formatSRecord('3', 0x080010, "8 bytes."), kEnd}),
        overwrites + "2");
    row("two different identity records",
        lines({kHeader, identity, kData, formatSRecord('3', 0x080010, QByteArray(16, 0)), kEnd}),
        "The update holds two different identity records: lines 2 and 4");
    row("tail of 15", image, "The identity tail \"0123456789ABCDE\" is not 16 hexadecimal digits",
        kTail.left(15));
    row("tail of a page", image,
        "The identity tail \"" + kTail + kTail + "\" is not 16 hexadecimal digits",
        kTail.repeated(256));
}

void TestWebService::refusesAllButAWholeImage()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, regEnd);
    QFETCH(QString, problem);
    brimo::ImageCheck check;
    check.add(image);
    QCOMPARE(check.finish(regEnd), problem);
}

// Keys and values go into the address as written; the request still reaches
// the service with the same text, escaped only where a URL needs it.
void TestWebService::requestAddress_data()
{
    QTest::addColumn<FormData>("form");
    QTest::addColumn<QString>("query");
    const auto row = [](const char *name, const FormData &form, const QString &query) {
        QTest::newRow(name) << form << query;
    };
    row("no pairs", {}, "?");
    row("two pairs in order, an object left out",
        {{"o", QVariant::fromValue(new QObject(this))}, {"b", 2}, {"a", true}}, "?b=2&a=True");
    row("nothing encoded", {{"A", "two words&more=yes"}, {"B", "#1"}},
        "?A=two words&more=yes&B=#1");
    // A system number is the device's bytes, one character each.
    const QString deviceBytes = QString::fromLatin1("AB\xE9\xFF\x80\x01") + "CD";
    row("bytes above 0x7F go out as themselves", {{"SystemCodeString", deviceBytes}},
        "?SystemCodeString=" + deviceBytes);
}

void TestWebService::requestAddress()
{
    QFETCH(FormData, form);
    QFETCH(QString, query);

    LoopbackServer server(head("200 OK", length(1)) + "x");
    const QString uri = server.hostPort() + "/ws/ping.asp";
    RecordingWindow window;
    webservice service(window, m_appFolder.path());
    QCOMPARE(service.execute(uri, form).iResponseCode, qint16{200});
    const QByteArray line = server.requests.split('\r').first();
    QCOMPARE(line.count(' '), 2);
    QCOMPARE(QByteArray::fromPercentEncoding(line),
             "GET /ws/ping.asp" + query.toLatin1() + " HTTP/1.1");
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
    const qsizetype identity = image.indexOf("S31500080010");
    const QByteArray shortIdentity = QByteArray(image).remove(identity + 40, 6);
    const qsizetype damaged = image.indexOf("\r\nS3", 100) + 2 + 45;
    QByteArray badRecord = image;
    badRecord[damaged] = image.at(damaged) == '0' ? '1' : '0';
    const QByteArray halfWay = image.left(image.indexOf("\r\n", image.size() / 2) + 2);
    const QByteArray overIdentity = QByteArray(image).insert(
        image.lastIndexOf("S7"), formatSRecord('3', 0x080018, "ZZ99YY88") + "\r\n");
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray message = "No update for this device.\r\n<b>";

    row("image", served(image, regEnd), image, 0, 200);
    row("image without REGEND", served(image, {}), image, 2, 200,
        "The update came without its identity tail (REGEND)");
    row("REGEND not hexadecimal", served(image, "REGEND: 00112233445566ZZ\r\n"), image, 2, 200,
        "The identity tail \"00112233445566ZZ\" is not 16 hexadecimal digits");
    row("damaged record", served(badRecord, regEnd), badRecord, 2, 200,
        notWhole + QStringLiteral("line %1 has a wrong checksum").arg(lineAt(damaged)));
    row("identity record cut short", served(shortIdentity, regEnd), shortIdentity, 2, 200,
        notWhole +
            QStringLiteral("line %1 is not as long as its byte count says").arg(lineAt(identity)));
    row("a record over the identity", served(overIdentity, regEnd), overIdentity, 2, 200,
        QStringLiteral("The update writes over the device's identity: line %1")
            .arg(lineAt(image.lastIndexOf("S7"))));
    row("cut at a line boundary, no length", ok + regEnd + "\r\n", halfWay, 2, 200,
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
    row("endless: past 64 MiB with no length", ok + regEnd + "\r\nx", QByteArray(kMiB, 'x'), 2, 0,
        {}, 64);
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
    qputenv("BRIMO_SERVICE_HOST", (host.isEmpty() ? server.hostPort() : host).toUtf8());
    RecordingWindow window;
    webservice service(window, m_appFolder.path());
    std::optional<FileSizeLimit> limit;
    if (QByteArray(QTest::currentDataTag()) == "disk full")
        QVERIFY(limit.emplace(64 * 1024).isApplied());
    const brimo::response record = service.UpdateDevice(QString::fromLatin1(kSystemNo));
    limit.reset();
    QCOMPARE(record.objDF ? 0 : record.iResponseCode == 500 ? 1 : 2, result);
    QCOMPARE(record.iResponseCode, qint16(code));
    QCOMPARE(window.seen, logged.isEmpty() ? QStringList() : QStringList(logged));
    QCOMPARE(record.strContent, code == 0 ? QString() : QString::fromLatin1(body.left(4096)));
    // Only a whole image is kept, in a file beside the work file.
    QFile kept(record.objDF ? record.objDF->path() : QString());
    QCOMPARE(kept.open(QIODevice::ReadOnly) ? kept.readAll() : QByteArray(),
             result == 0 ? body : "");
    QCOMPARE(record.objDF ? record.objDF->strRegEnd : QByteArray(), result == 0 ? kTail : "");
    QCOMPARE(QDir(m_appFolder.path()).entryList(QDir::Files).size(), result == 0 ? 1 : 0);
    // Qt may send again by itself when the line breaks; the fault covers one.
    const qsizetype sent =
        server.requests.count("GET /ws/updatedevice.asp?SystemCodeString=AB12CD34 ");
    QVERIFY2(host.isEmpty() ? sent == 1 || sent == 2 : sent == 0,
             qPrintable(QString::number(sent)));
    QVERIFY(!server.requests.toLower().contains("authorization"));
    QCOMPARE(states.size() == 1 ? window.states.mid(window.states.size() - 1) : window.states,
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

// The proxy handed in counts from the next request: one client goes straight
// to the service, then through the proxy, fails while the proxy is down and
// goes straight again once the setting is cleared.
void TestWebService::storedProxyCarriesTheRequest()
{
    QFETCH(QStringList, setting);

    const QByteArray answer = head("200 OK", length(1)) + "x";
    LoopbackServer service(answer);
    LoopbackServer proxy(answer);
    if (!setting[2].isEmpty() &&
        !(proxy.close(), proxy.listen(QHostAddress::LocalHost, setting[2].toUShort())))
        QSKIP("the proxy's port is taken");
    qputenv("BRIMO_SERVICE_HOST", service.hostPort().toUtf8());
    RecordingWindow window;
    webservice client(window, m_appFolder.path());
    QCOMPARE(client.ping(), "True");
    setting.replaceInStrings("%1", QString::number(proxy.serverPort()));
    client.setProxy({setting[0], setting[1]});
    QCOMPARE(client.ping(), "True");
    const QByteArray sent = "GET http://" + service.hostPort().toLatin1() + "/ws/ping.asp? ";
    QVERIFY2(proxy.requests.startsWith(sent), proxy.requests.constData());
    proxy.close();
    QCOMPARE(client.ping(), "False");
    QCOMPARE(window.states.last(), qint16{11});
    client.setProxy({});
    QCOMPARE(client.ping(), "True");
    QCOMPARE(service.requests.count("GET /ws/ping.asp? "), 2);
}

// A service that asks for a login (Basic, NTLM and Negotiate at once) gets
// none, straight or through a proxy (the stand-in takes a request in a
// proxy's form as the service would): the request has failed, as one that
// got no answer, and was sent once.
void TestWebService::loginIsNeverGiven_data()
{
    QTest::addColumn<bool>("download");
    QTest::addColumn<bool>("proxied");
    for (const char *row :
         {"ping", "ping, through a proxy", "download", "download, through a proxy"})
        QTest::newRow(row) << QByteArray(row).startsWith("download")
                           << QByteArray(row).contains("proxy");
}

void TestWebService::loginIsNeverGiven()
{
    QFETCH(bool, download);
    QFETCH(bool, proxied);

    VendorSimProcess service({"--image", QString::fromLatin1(kSystemNo) + ":0"});
    QVERIFY(service.isListening() && service.setFault("401"));
    qputenv("BRIMO_SERVICE_HOST", service.hostPort().toUtf8());
    RecordingWindow window;
    webservice client(window, m_appFolder.path());
    if (proxied)
        client.setProxy({service.hostPort(), {}});
    const bool failed =
        download ? client.UpdateDevice(kSystemNo).iResponseCode == 0 : client.ping() == "False";
    QVERIFY(failed && window.states.last() == 11);
    const QByteArray requests = service.requests();
    QVERIFY2(requests.count("GET ") == 1 && !requests.toLower().contains("authorization"),
             requests.constData());
}

QTEST_GUILESS_MAIN(TestWebService)
#include "tst_webservice.moc"

#include "image/devicefile.h"
#include "scriptedserver.h"
#include "settings/registry.h"
#include "testwindow.h"
#include "vendorsimprocess.h"
#include "webservice/statuscode.h"
#include "webservice/webservice.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

using brimo::FormData;
using brimo::webservice;

namespace {

constexpr char kSystemNo[] = "AB12CD34";
constexpr char kRegEnd[] = "0123456789ABCDEF";

void setProxySetting(const QString &server, const QString &port)
{
    using namespace brimo;
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("ProxyServer"), server);
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, QStringLiteral("ProxyPort"), port);
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

// Debian's small HTTP proxy in the foreground on a free loopback port; it
// ends with `process`.
bool startTinyProxy(QProcess &process, const QTemporaryDir &dir, quint16 port)
{
    QFile config(dir.filePath(QStringLiteral("tinyproxy.conf")));
    if (accepts(port) || !config.open(QIODevice::WriteOnly))
        return false;
    config.write("Port " + QByteArray::number(port) + "\nListen 127.0.0.1\nAllow 127.0.0.1\n");
    config.close();
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("/usr/bin/tinyproxy"),
                  {QStringLiteral("-d"), QStringLiteral("-c"), config.fileName()});
    return process.waitForStarted() && QTest::qWaitFor([port] { return accepts(port); }, 10000);
}

} // namespace

class TestWebService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void requestAddress_data();
    void requestAddress();
    void statusCodeOfHeaderText_data();
    void statusCodeOfHeaderText();
    void updateDeviceAnswers_data();
    void updateDeviceAnswers();
    void storedProxyCarriesTheRequest_data();
    void storedProxyCarriesTheRequest();

private:
    QTemporaryDir m_settingsDir;
    std::unique_ptr<VendorSimProcess> m_service;
};

void TestWebService::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    qputenv("BRIMO_REGISTRY_FILE", m_settingsDir.filePath(QStringLiteral("registry")).toUtf8());
    m_service = std::make_unique<VendorSimProcess>(QStringList{
        QStringLiteral("--image"), QStringLiteral("%1:20000:%2").arg(kSystemNo, kRegEnd),
        QStringLiteral("--slow-ms"), QStringLiteral("1500")});
    QVERIFY2(m_service->isListening(), qPrintable(m_service->errorString()));
}

void TestWebService::init()
{
    setProxySetting(QString(), QString());
    qputenv("BRIMO_SERVICE_HOST", m_service->hostPort().toUtf8());
    QVERIFY(m_service->setFault(QStringLiteral("none")));
    m_service->requests(true);
}

// Keys and values go into the address as written; the request still reaches
// the service with the same text, escaped only where a URL needs it.
void TestWebService::requestAddress_data()
{
    QTest::addColumn<FormData>("form");
    QTest::addColumn<QString>("query");

    QTest::newRow("no pairs") << FormData() << QStringLiteral("?");
    QTest::newRow("one pair") << FormData{{QStringLiteral("SystemCodeString"), kSystemNo}}
                              << QStringLiteral("?SystemCodeString=AB12CD34");
    QTest::newRow("two pairs in order, an object left out")
        << FormData{{QStringLiteral("o"), QVariant::fromValue(new QObject(this))},
                    {QStringLiteral("b"), 2},
                    {QStringLiteral("a"), true}}
        << QStringLiteral("?b=2&a=True");
    QTest::newRow("nothing encoded")
        << FormData{{QStringLiteral("A"), QStringLiteral("two words&more=yes")},
                    {QStringLiteral("B"), QStringLiteral("#1")}}
        << QStringLiteral("?A=two words&more=yes&B=#1");
    // A system number is the device's bytes, one character each.
    const QString deviceBytes = QString::fromLatin1("AB\xE9\xFF\x80\x01" "CD");
    QTest::newRow("bytes above 0x7F go out as themselves")
        << FormData{{QStringLiteral("SystemCodeString"), deviceBytes}}
        << QStringLiteral("?SystemCodeString=") + deviceBytes;
}

void TestWebService::requestAddress()
{
    QFETCH(FormData, form);
    QFETCH(QString, query);

    const QString uri = m_service->hostPort() + QStringLiteral("/ws/ping.asp");
    QCOMPARE(webservice::requestAddress(uri, form), uri + query);
    TestWindow window;
    webservice service(window);
    QCOMPARE(service.execute(uri, form)->iResponseCode, qint16{200});
    const QByteArray line = m_service->requests().split('\n').first();
    QCOMPARE(line.count(' '), 2);
    QCOMPARE(QByteArray::fromPercentEncoding(line),
             "GET /ws/ping.asp" + query.toLatin1() + " HTTP/1.1");
}

void TestWebService::statusCodeOfHeaderText_data()
{
    QTest::addColumn<QByteArray>("headerText");
    QTest::addColumn<int>("code");

    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("500, HTTP/1.0") << QByteArray("HTTP/1.0 500 Error\r\nREGEND: 01\r\n") << 500;
    QTest::newRow("letters after the space") << QByteArray("SSH-2.0 OpenSSH") << 0;
    QTest::newRow("no space") << QByteArray("HTTP/1.1") << 0;
}

void TestWebService::statusCodeOfHeaderText()
{
    QFETCH(QByteArray, headerText);
    QFETCH(int, code);
    QCOMPARE(brimo::statusCode(headerText), qint16(code));
}

// Every answer the service can give or fail to give: the result, the record,
// the container (untouched unless an image came), the message, the states.
void TestWebService::updateDeviceAnswers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("code");

    QTest::newRow("image") << "none" << 0 << 200;
    QTest::newRow("image without REGEND") << "noregend" << 0 << 200;
    QTest::newRow("image trickled slowly") << "slow" << 0 << 200;
    QTest::newRow("refused by the service") << "500" << 1 << 500;
    QTest::newRow("302") << "302" << 2 << 302;
    QTest::newRow("403") << "403" << 2 << 403;
    QTest::newRow("404") << "404" << 2 << 404;
    QTest::newRow("empty body") << "empty" << 2 << 0;
    QTest::newRow("cut half-way") << "cut" << 2 << 0;
    QTest::newRow("not HTTP") << "nothttp" << 2 << 0;
    QTest::newRow("hanging until cancelled") << "hang" << 2 << 0;
    QTest::newRow("refused port") << "refused" << 2 << 0;
}

void TestWebService::updateDeviceAnswers()
{
    QFETCH(QString, fault);
    QFETCH(int, result);
    QFETCH(int, code);

    const bool refused = fault == QLatin1String("refused");
    if (refused)
        qputenv("BRIMO_SERVICE_HOST", "127.0.0.1:" + QByteArray::number(closedPort()));
    TestWindow window;
    webservice service(window);
    // The user cancels a hanging request after a while.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks % 6 == 0 && fault == QLatin1String("hang"))
            window.internetControl().cancel();
    });
    ticker.start(50);
    brimo::deviceFile objDF;
    objDF.strRegEnd = "before";
    objDF.load("S0before");

    QVERIFY(refused || m_service->setFault(fault));
    QCOMPARE(service.UpdateDevice(QString::fromLatin1(kSystemNo), objDF), qint16(result));
    const brimo::response &record = *service.objResponse;
    QCOMPARE(record.iResponseCode, qint16(code));
    QCOMPARE(record.strBody.isEmpty() && record.strRegEnd.isEmpty(), code == 0);
    QCOMPARE(record.strContent, record.strBody);
    QCOMPARE(objDF.getData(), result == 0 ? record.strBody : QByteArray("S0before"));
    QCOMPARE(objDF.strRegEnd, result != 0                          ? QByteArray("before")
                              : fault == QLatin1String("noregend") ? QByteArray()
                                                                   : QByteArray(kRegEnd));
    QVERIFY(result != 0 || (objDF.isEncrypted() && objDF.getData().startsWith("S0")));
    QCOMPARE(window.criticalTexts,
             result == 1 ? QStringList{QString::fromUtf8(record.strContent)} : QStringList());
    QVERIFY2(fault != QLatin1String("slow") || ticks >= 10, qPrintable(QString::number(ticks)));
    // Qt may send again by itself when the line breaks; the fault covers one.
    const qsizetype sent = m_service->requests().count("GET /ws/updatedevice.asp");
    QVERIFY2(sent <= 2 && (sent > 0 || refused), qPrintable(QString::number(sent)));
    // The same control carries the ping, which reports its states afresh.
    const bool answered = code != 0 || fault == QLatin1String("empty");
    QVERIFY(answered ? window.states == kSuccessStates : window.states.endsWith(11));
    window.states.clear();
    QVERIFY(refused || m_service->setFault(fault));
    QCOMPARE(service.ping(), code == 200 ? QStringLiteral("True") : QStringLiteral("False"));
    QVERIFY(answered ? window.states == kSuccessStates : window.states.endsWith(11));
}

void TestWebService::storedProxyCarriesTheRequest_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("port");
    QTest::addColumn<quint16>("proxyPort");

    // %1 stands for the port the proxy listens on.
    QTest::newRow("whole address")
        << QStringLiteral("http://127.0.0.1:%1/") << QString() << closedPort();
    QTest::newRow("stored port wins")
        << QStringLiteral("127.0.0.1:1") << QStringLiteral(" %1 ") << closedPort();
    QTest::newRow("port not a number")
        << QStringLiteral("127.0.0.1") << QStringLiteral("not a port") << quint16{8080};
}

// The stored proxy is read at each request: one client goes straight to the
// service, then through the proxy, fails while the proxy is down and goes
// straight again once the setting is cleared.
void TestWebService::storedProxyCarriesTheRequest()
{
    QFETCH(QString, server);
    QFETCH(QString, port);
    QFETCH(quint16, proxyPort);

    const auto viaProxy = [this] {
        const QByteArray seen = m_service->requests(true);
        return seen.contains("\nVia: ") && seen.contains("tinyproxy");
    };
    TestWindow window;
    webservice service(window);
    brimo::deviceFile objDF;
    QCOMPARE(service.ping(), QStringLiteral("True"));
    QVERIFY(!viaProxy());
    const QString listening = QString::number(proxyPort);
    setProxySetting(server.replace(QStringLiteral("%1"), listening),
                    port.replace(QStringLiteral("%1"), listening));
    {
        QTemporaryDir dir;
        QProcess proxy;
        if (!startTinyProxy(proxy, dir, proxyPort))
            QSKIP("tinyproxy (Debian package tinyproxy-bin) could not listen on its port");
        QCOMPARE(service.UpdateDevice(QString::fromLatin1(kSystemNo), objDF), qint16{0});
        const QByteArray seen = m_service->requests();
        QVERIFY2(seen.startsWith("GET /ws/updatedevice.asp?SystemCodeString=AB12CD34 "),
                 seen.constData());
        QVERIFY2(viaProxy(), seen.constData());
    }
    QCOMPARE(service.UpdateDevice(QString::fromLatin1(kSystemNo), objDF), qint16{2});
    QCOMPARE(service.objResponse->iResponseCode, qint16{0});
    QCOMPARE(window.states.last(), qint16{11});
    setProxySetting(QString(), QString());
    QCOMPARE(service.ping(), QStringLiteral("True"));
    QVERIFY(!viaProxy());
}

QTEST_GUILESS_MAIN(TestWebService)
#include "tst_webservice.moc"

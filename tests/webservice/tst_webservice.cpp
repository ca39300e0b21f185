#include "image/devicefile.h"
#include "scriptedserver.h"
#include "settings/registry.h"
#include "testwindow.h"
#include "vendorsimprocess.h"
#include "webservice/statuscode.h"
#include "webservice/webservice.h"

#include <QFile>
#include <QHostInfo>
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
const QList<qint16> kSuccessStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

void setProxySetting(const QString &server, const QString &port)
{
    brimo::setRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey,
                            QStringLiteral("ProxyServer"), server);
    brimo::setRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey,
                            QStringLiteral("ProxyPort"), port);
}

// Debian's small HTTP proxy, run in the foreground for one test.
class TinyProxy {
public:
    static bool isInstalled() { return QFile::exists(program()); }

    explicit TinyProxy(quint16 port)
    {
        QFile config(m_dir.filePath(QStringLiteral("tinyproxy.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(
            QStringLiteral("Port %1\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\n"
                           "MaxClients 10\nLogLevel Info\nPidFile \"%2\"\nLogFile \"%3\"\n")
                .arg(port)
                .arg(m_dir.filePath(QStringLiteral("tinyproxy.pid")), logPath())
                .toUtf8());
        config.close();
        m_process.start(program(), {QStringLiteral("-d"), QStringLiteral("-c"), config.fileName()});
    }
    ~TinyProxy()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    TinyProxy(const TinyProxy &) = delete;
    TinyProxy &operator=(const TinyProxy &) = delete;

    QByteArray log() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    static QString program() { return QStringLiteral("/usr/bin/tinyproxy"); }
    QString logPath() const { return m_dir.filePath(QStringLiteral("tinyproxy.log")); }

    QTemporaryDir m_dir;
    QProcess m_process;
};

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

class TestWebService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void largeImageIsHeldWithoutExtraCopies();
    void requestAddress_data();
    void requestAddress();
    void addressTextArrivesAsWritten();
    void statusCodeOfHeaderText_data();
    void statusCodeOfHeaderText();
    void updateDeviceAnswers_data();
    void updateDeviceAnswers();
    void pingAnswers_data();
    void pingAnswers();
    void hangingServiceEndsOnCancel();
    void refusedConnectionEndsOnError();
    void storedProxyCarriesTheRequest();
    void storedProxyHostAndPort_data();
    void storedProxyHostAndPort();
    void systemProxyAppliesWithoutAStoredOne();

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
}

// Runs first, while the test's own peak memory is still low.
void TestWebService::largeImageIsHeldWithoutExtraCopies()
{
#ifndef Q_OS_LINUX
    QSKIP("reads the peak resident size from /proc");
#else
    const auto peakKiB = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("VmHWM:");
        return text.mid(at + 6, text.indexOf('\n', at) - at - 6)
            .trimmed()
            .split(' ')
            .first()
            .toLongLong();
    };
    constexpr qint64 kSize = qint64{64} * 1024 * 1024;
    VendorSimProcess big({QStringLiteral("--image"), QStringLiteral("BIG00001:%1").arg(kSize)},
                         120000);
    QVERIFY2(big.isListening(), qPrintable(big.errorString()));
    qputenv("BRIMO_SERVICE_HOST", big.hostPort().toUtf8());

    const qint64 before = peakKiB();
    TestWindow window;
    webservice service(window);
    brimo::deviceFile objDF;
    QCOMPARE(service.UpdateDevice(QStringLiteral("BIG00001"), objDF), qint16{0});
    const qint64 grownMiB = (peakKiB() - before) / 1024;
    QVERIFY(objDF.size() >= kSize);
    qInfo("a %lld MiB image raised the peak resident size by %lld MiB",
          static_cast<long long>(objDF.size() / (1024 * 1024)), static_cast<long long>(grownMiB));
    QVERIFY2(grownMiB < 3 * (objDF.size() / (1024 * 1024)), qPrintable(QString::number(grownMiB)));
#endif
}

void TestWebService::requestAddress_data()
{
    QTest::addColumn<FormData>("form");
    QTest::addColumn<QString>("address");

    const QString uri = QStringLiteral("svc.example/ws/updatedevice.asp");
    auto *object = new QObject(this);
    QTest::newRow("no pairs") << FormData() << uri + QStringLiteral("?");
    QTest::newRow("one pair") << FormData{{QStringLiteral("SystemCodeString"), kSystemNo}}
                              << uri + QStringLiteral("?SystemCodeString=AB12CD34");
    QTest::newRow("two pairs in order")
        << FormData{{QStringLiteral("b"), 2}, {QStringLiteral("a"), QStringLiteral("x")}}
        << uri + QStringLiteral("?b=2&a=x");
    QTest::newRow("object item left out")
        << FormData{{QStringLiteral("a"), 1},
                    {QStringLiteral("obj"), QVariant::fromValue(object)},
                    {QStringLiteral("c"), 3}}
        << uri + QStringLiteral("?a=1&c=3");
    QTest::newRow("only an object")
        << FormData{{QStringLiteral("obj"), QVariant::fromValue(object)}}
        << uri + QStringLiteral("?");
    QTest::newRow("nothing encoded")
        << FormData{{QStringLiteral("v"), QStringLiteral("a b&c=d%20")}}
        << uri + QStringLiteral("?v=a b&c=d%20");
    QTest::newRow("truth values") << FormData{{QStringLiteral("t"), true},
                                              {QStringLiteral("f"), false}}
                                  << uri + QStringLiteral("?t=True&f=False");
}

void TestWebService::requestAddress()
{
    QFETCH(FormData, form);
    QFETCH(QString, address);
    QCOMPARE(webservice::requestAddress(QStringLiteral("svc.example/ws/updatedevice.asp"), form),
             address);
}

void TestWebService::addressTextArrivesAsWritten()
{
    ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx");
    TestWindow window;
    webservice service(window);
    const FormData form{{QStringLiteral("A"), QStringLiteral("two words&more=yes")},
                        {QStringLiteral("B"), QStringLiteral("#1")}};
    QCOMPARE(service.execute(server.hostPort() + QStringLiteral("/ws/x.asp"), form)->iResponseCode,
             qint16{200});
    QCOMPARE(server.requests().size(), 1);
    const QByteArray line = server.requests().first().split('\r').first();
    QCOMPARE(line, QByteArray("GET /ws/x.asp?A=two%20words&more=yes&B=%231 HTTP/1.1"));
}

void TestWebService::statusCodeOfHeaderText_data()
{
    QTest::addColumn<QByteArray>("headerText");
    QTest::addColumn<int>("code");

    QTest::newRow("200") << QByteArray("HTTP/1.1 200 OK\r\nREGEND: 01\r\n") << 200;
    QTest::newRow("500, older protocol") << QByteArray("HTTP/1.0 500 Error\r\n") << 500;
    QTest::newRow("no reason text") << QByteArray("HTTP/1.1 404") << 404;
    QTest::newRow("three characters after the first space") << QByteArray("HTTP/1.1 30 2 x") << 30;
    QTest::newRow("letters after the space") << QByteArray("SSH-2.0 OpenSSH") << 0;
    QTest::newRow("no space") << QByteArray("HTTP/1.1") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void TestWebService::statusCodeOfHeaderText()
{
    QFETCH(QByteArray, headerText);
    QFETCH(int, code);
    QCOMPARE(brimo::statusCode(headerText), qint16(code));
}

void TestWebService::updateDeviceAnswers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("systemNo");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("withRegEnd");

    const QString known = QString::fromLatin1(kSystemNo);
    QTest::newRow("image") << "none" << known << 0 << 200 << true;
    QTest::newRow("image without REGEND") << "noregend" << known << 0 << 200 << false;
    QTest::newRow("image trickled slowly") << "slow" << known << 0 << 200 << true;
    QTest::newRow("unknown device") << "none"
                                    << "ZZ99ZZ99" << 1 << 500 << false;
    QTest::newRow("refused by the service") << "500" << known << 1 << 500 << false;
    QTest::newRow("302") << "302" << known << 2 << 302 << false;
    QTest::newRow("403") << "403" << known << 2 << 403 << false;
    QTest::newRow("404") << "404" << known << 2 << 404 << false;
    QTest::newRow("empty body") << "empty" << known << 2 << 0 << false;
    QTest::newRow("cut half-way") << "cut" << known << 2 << 0 << false;
    QTest::newRow("not HTTP") << "nothttp" << known << 2 << 0 << false;
}

void TestWebService::updateDeviceAnswers()
{
    QFETCH(QString, fault);
    QFETCH(QString, systemNo);
    QFETCH(int, result);
    QFETCH(int, code);
    QFETCH(bool, withRegEnd);

    QVERIFY(m_service->setFault(fault));
    m_service->requests(true);
    TestWindow window;
    webservice service(window);
    brimo::deviceFile objDF;
    objDF.strRegEnd = "before";
    objDF.load("S0before");
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(50);

    QCOMPARE(service.UpdateDevice(systemNo, objDF), qint16(result));
    QCOMPARE(service.strPath, QStringLiteral("/ws/updatedevice.asp"));
    QCOMPARE(service.objResponse->iResponseCode, qint16(code));
    if (result == 0) {
        QVERIFY(objDF.getData().startsWith("S0"));
        QCOMPARE(objDF.getData(), service.objResponse->strBody);
        QVERIFY(objDF.isEncrypted());
        QCOMPARE(objDF.strRegEnd, withRegEnd ? QByteArray(kRegEnd) : QByteArray());
    } else {
        QCOMPARE(objDF.getData(), QByteArray("S0before"));
        QCOMPARE(objDF.strRegEnd, QByteArray("before"));
    }
    if (result == 1) {
        QCOMPARE(window.criticalTexts.size(), 1);
        QCOMPARE(window.criticalTexts.first().toUtf8(), service.objResponse->strContent);
        QVERIFY(!window.criticalTexts.first().isEmpty());
    } else {
        QVERIFY(window.criticalTexts.isEmpty());
    }
    if (fault == QLatin1String("slow"))
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    // Qt sends a request once more by itself when the line breaks before an
    // answer; the fault covers only the first, so a taken second answer would
    // show here as a loaded image.
    const qsizetype sent = m_service->requests().count("GET /ws/updatedevice.asp");
    QVERIFY2(sent == 1 || sent == 2, qPrintable(QString::number(sent)));
    const bool transferFailed = fault == QLatin1String("cut") || fault == QLatin1String("nothttp");
    QCOMPARE(window.states.last(), transferFailed ? qint16{11} : qint16{12});
}

void TestWebService::pingAnswers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("result");

    QTest::newRow("answered") << "none"
                              << "True";
    QTest::newRow("404") << "404"
                         << "False";
    QTest::newRow("empty body") << "empty"
                                << "False";
}

void TestWebService::pingAnswers()
{
    QFETCH(QString, fault);
    QFETCH(QString, result);

    QVERIFY(m_service->setFault(fault));
    TestWindow window;
    webservice service(window);
    QCOMPARE(service.ping(), result);
    QCOMPARE(service.strPath, QStringLiteral("/ws/ping.asp"));
    if (result == QLatin1String("True"))
        QCOMPARE(window.states, kSuccessStates);
}

void TestWebService::hangingServiceEndsOnCancel()
{
    QVERIFY(m_service->setFault(QStringLiteral("hang")));
    TestWindow window;
    webservice service(window);
    brimo::deviceFile objDF;
    QTimer::singleShot(300, [&window] { window.internetControl().cancel(); });
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(service.UpdateDevice(QString::fromLatin1(kSystemNo), objDF), qint16{2});
    QVERIFY(elapsed.elapsed() < 3000);
    QCOMPARE(service.objResponse->iResponseCode, qint16{0});
    QCOMPARE(objDF.size(), 0);
}

void TestWebService::refusedConnectionEndsOnError()
{
    qputenv("BRIMO_SERVICE_HOST", QByteArray("127.0.0.1:") + QByteArray::number(closedPort()));
    TestWindow window;
    webservice service(window);
    QCOMPARE(service.ping(), QStringLiteral("False"));
    QCOMPARE(service.objResponse->iResponseCode, qint16{0});
    QCOMPARE(window.states.last(), qint16{11});
    QVERIFY(!window.states.contains(4));
}

void TestWebService::storedProxyCarriesTheRequest()
{
    if (!TinyProxy::isInstalled())
        QSKIP("tinyproxy is not installed (Debian package tinyproxy-bin)");
    const quint16 port = closedPort();
    brimo::deviceFile objDF;
    {
        TinyProxy proxy(port);
        QTRY_VERIFY_WITH_TIMEOUT(accepts(port), 10000);
        setProxySetting(QStringLiteral("127.0.0.1"), QString::number(port));
        m_service->requests(true);
        TestWindow window;
        webservice service(window);
        QCOMPARE(service.UpdateDevice(QString::fromLatin1(kSystemNo), objDF), qint16{0});
        QCOMPARE(objDF.strRegEnd, QByteArray(kRegEnd));
        const QByteArray seen = m_service->requests();
        QVERIFY2(seen.contains("tinyproxy"), seen.constData());
        QVERIFY2(proxy.log().contains("/ws/updatedevice.asp?SystemCodeString=AB12CD34"),
                 proxy.log().constData());
    }
    // The proxy is gone: the request fails like any unreachable service.
    TestWindow window;
    webservice service(window);
    QCOMPARE(service.UpdateDevice(QString::fromLatin1(kSystemNo), objDF), qint16{2});
    QCOMPARE(service.objResponse->iResponseCode, qint16{0});
    QCOMPARE(window.states.last(), qint16{11});
}

void TestWebService::storedProxyHostAndPort_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("usualPort");

    // %1 stands for the port the stand-in proxy listens on.
    QTest::newRow("port stored apart") << "127.0.0.1"
                                       << "%1" << false;
    QTest::newRow("port in the server text") << "127.0.0.1:%1"
                                             << "" << false;
    QTest::newRow("whole address") << "http://127.0.0.1:%1/"
                                   << "" << false;
    QTest::newRow("stored port wins") << "127.0.0.1:1"
                                      << " %1 " << false;
    QTest::newRow("no port at all") << "127.0.0.1"
                                    << "" << true;
    QTest::newRow("port not a number") << "127.0.0.1"
                                       << "not a port" << true;
}

void TestWebService::storedProxyHostAndPort()
{
    QFETCH(QString, server);
    QFETCH(QString, port);
    QFETCH(bool, usualPort);

    ScriptedServer proxy("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nTrue", true,
                         usualPort ? 8080 : 0);
    if (!proxy.isListening())
        QSKIP("port 8080 is taken on this machine");
    const QString listening = proxy.hostPort().section(QLatin1Char(':'), 1);
    const auto withPort = [&listening](QString text) {
        return text.replace(QStringLiteral("%1"), listening);
    };
    setProxySetting(withPort(server), withPort(port));
    TestWindow window;
    webservice service(window);
    QCOMPARE(service.ping(), QStringLiteral("True"));
    QCOMPARE(proxy.requests().size(), 1);
    const QByteArray expected = "GET http://" + m_service->hostPort().toUtf8() + "/ws/ping.asp? ";
    QVERIFY2(proxy.requests().first().startsWith(expected), proxy.requests().first().constData());
}

void TestWebService::systemProxyAppliesWithoutAStoredOne()
{
    if (!TinyProxy::isInstalled())
        QSKIP("tinyproxy is not installed (Debian package tinyproxy-bin)");
    // Qt never sends loopback addresses through a system proxy, so the
    // service is named by this machine's name, which must lead back here.
    const QString name = QHostInfo::localHostName();
    const QList<QHostAddress> addresses = QHostInfo::fromName(name).addresses();
    if (addresses.isEmpty() || !addresses.first().isLoopback())
        QSKIP("this machine's name does not resolve to a loopback address");
    const quint16 port = closedPort();
    TinyProxy proxy(port);
    QTRY_VERIFY_WITH_TIMEOUT(accepts(port), 10000);
    qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(port));
    qputenv("BRIMO_SERVICE_HOST",
            QStringLiteral("%1:%2").arg(name).arg(m_service->port()).toUtf8());
    m_service->requests(true);
    TestWindow window;
    webservice service(window);
    const QString answer = service.ping();
    qunsetenv("http_proxy");
    QCOMPARE(answer, QStringLiteral("True"));
    QVERIFY2(m_service->requests().contains("tinyproxy"), m_service->requests().constData());
}

QTEST_GUILESS_MAIN(TestWebService)
#include "tst_webservice.moc"
